#pragma once

#include <QObject>

namespace ostrevo {

class Engine;

// The front end without windows: status changes, warnings and escaped job errors go to
// stderr, one line each; SIGINT and SIGTERM quit the application cleanly.
class Headless : public QObject {
    Q_OBJECT
public:
    explicit Headless(Engine *engine, QObject *parent = nullptr);

    // Routes SIGINT/SIGTERM into the event loop (a self-pipe); call once.
    static void installSignalHandlers();
};

} // namespace ostrevo
