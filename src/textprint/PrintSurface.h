#pragma once

namespace ostrevo {

class Canvas;

// What the line renderer draws on: a canvas inside a running document that can take a
// new page. The printer renderer puts the shared printer behind it; tests a recording one.
class PrintSurface {
public:
    virtual ~PrintSurface() = default;
    virtual Canvas &canvas() = 0;
    virtual void newPage() = 0;
    virtual bool aborted() const = 0;
};

} // namespace ostrevo
