#pragma once

#include <QString>

namespace ostrevo {

struct LptCommand {
    QString programDir;
    QString executableName; // the single-instance key, as the monitor's
    QString port;
    bool desktop = false;   // a PDF may be opened (Otworz=1)
};

// `ostrevo --lpt PORT`, as DOSEMU2 runs it once per print job: reads the job from
// standard input to its end and writes it whole into the port's directory, so that it is
// not lost whatever happens next. Then the monitor running on the program directory
// prints it (it sees the new file, and is asked to look), or, when none runs, this
// process does, as --once does for jobs. An empty input is no print job. Returns the exit
// code: 0 printed or handed to the monitor, 1 otherwise (why on stderr).
int RunLptCommand(const LptCommand &command);

} // namespace ostrevo
