#pragma once

#include <QObject>

namespace ostrevo {

class Engine;

// The front end without windows: status changes, warnings and escaped job errors go to
// stderr, one line each; SIGINT and SIGTERM quit the application cleanly.
class Headless : public QObject {
    Q_OBJECT
public:
    // Without `statusLines` only warnings and errors are printed (--once).
    explicit Headless(Engine *engine, bool statusLines = true, QObject *parent = nullptr);

    // Routes SIGINT/SIGTERM into the event loop (a self-pipe); call once.
    static void installSignalHandlers();
};

} // namespace ostrevo
