// The mail spool's files: whatever a damaged or planted file holds, reading it either
// refuses it or gives a message that is written and read back the same.
#include "FuzzFile.h"
#include "net/MailSpool.h"

using namespace ostrevo;

namespace {

bool Same(const SpooledMail &a, const SpooledMail &b)
{
    return a.resultDir == b.resultDir && a.resultName == b.resultName && a.jobId == b.jobId
        && a.jobFile == b.jobFile && a.jobKind == b.jobKind && a.from == b.from && a.recipients == b.recipients
        && a.message == b.message;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<SpooledMail> mail = MailSpool::decode(fuzz::Bytes(data, size));
    if (!mail)
        return 0;
    const std::optional<SpooledMail> again = MailSpool::decode(MailSpool::encode(*mail));
    if (!again || !Same(*mail, *again))
        std::abort();
    return 0;
}
