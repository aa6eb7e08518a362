// Ostrevo.ini: parsing, writing back unchanged, setting values, reading settings.
#include "FuzzFile.h"
#include "monitor/IniFile.h"
#include "monitor/SettingsStore.h"

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::Bytes(data, size);
    IniFile ini = IniFile::fromBytes(bytes);
    const QByteArray once = ini.toBytes();
    // Written back, the file reads the same and writes the same.
    if (IniFile::fromBytes(once).toBytes() != once)
        std::abort();

    const Settings settings = SettingsStore::fromIni(ini);
    SettingsStore::toIni(settings, ini);
    if (SettingsStore::fromIni(IniFile::fromBytes(ini.toBytes())) != settings)
        std::abort();

    // Any value comes back as set (line breaks as spaces).
    QByteArray expected = bytes.left(64);
    for (char &c : expected) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    ini.setValue("Fuzz", "Value", bytes.left(64));
    if (IniFile::fromBytes(ini.toBytes()).value("Fuzz", "Value") != expected)
        std::abort();
    return 0;
}
