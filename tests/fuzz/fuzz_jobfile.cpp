// Job files: the DOS line rules, key lines and key blocks, and the classifier.
#include "FuzzFile.h"
#include "jobs/Classifier.h"
#include "jobs/JobFile.h"

#include <QBuffer>

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::Bytes(data, size);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    qsizetype total = 0;
    while (auto line = reader.next()) {
        // No line ever carries a line end or Ctrl+Z, and no byte appears from nowhere.
        if (line->contains('\n') || line->contains('\r') || line->contains('\x1A'))
            std::abort();
        total += line->size();
        if (total > bytes.size())
            std::abort();
        if (HoldsTag(*line, "<PIT>")) {
            const KeyBlock block = ReadKeyBlock(reader, *line);
            for (auto it = block.cbegin(); it != block.cend(); ++it) {
                if (it.key() != UpperAscii(it.key()) || it.key().contains('='))
                    std::abort();
            }
        }
    }

    const JobKind kind = ClassifyJob(fuzz::WriteScratch(data, size));
    if (int(kind) >= JobKindCount)
        std::abort();
    return 0;
}
