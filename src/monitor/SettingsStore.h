#pragma once

#include "handling/Settings.h"

#include <QString>

namespace ostrevo {

class IniFile;

// Ostrevo.ini: sections [Opcje], [Mail], [Duplex] as the Windows program keeps them, plus
// [Dyski] (drive letter -> Linux directory), [DrukarkaPDF] Katalog and [Waluty] (the
// exchange-rate sources).
//
// write() re-reads the file and changes only the keys of [Opcje], [Mail] and [Duplex] that
// the program edits, so every other key and section (among them [Dyski], [DrukarkaPDF] and
// [Waluty], which only the user edits), comments and hand edits made while the program runs stay as
// they are on disk at the time of the write, as the Windows INI functions do. The file is
// written back in the encoding it was read in (UTF-8 or Windows-1250, see IniFile).
class SettingsStore {
public:
    explicit SettingsStore(QString iniPath);

    // Missing file or keys, and malformed values, give the defaults. A file that exists but
    // cannot be read gives the defaults too, and readError() says why.
    Settings read();
    // Throws IoError when the file cannot be read back or written.
    void write(const Settings &s);

    const QString &path() const { return m_path; }
    const QString &readError() const { return m_readError; }

    // The parts that work on an INI file in memory.
    static Settings fromIni(const IniFile &ini);
    static void toIni(const Settings &s, IniFile &ini);

private:
    QString m_path;
    QString m_readError;
};

} // namespace ostrevo
