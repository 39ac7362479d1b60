#pragma once

class DrawView;

// What the draw view needs from the window that holds it: the view loads the
// first document while it is being built and runs the export steps of the
// command chain, both of which belong to the window's commands.
class ViewHost
{
public:
    // The view under construction, before it loads anything.
    virtual void attachView(DrawView *view) = 0;
    virtual void load(const char *name) = 0;
    virtual void choose() = 0;
    virtual void ExportJpeg() = 0;
    virtual void ExportEPS() = 0;
    // True once the window has been closed: it is only waiting to be deleted,
    // and nothing more is done for it.
    virtual bool closed() const = 0;

protected:
    ~ViewHost() = default;
};
