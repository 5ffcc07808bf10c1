#pragma once

#include <functional>
#include <map>

namespace kurvex {

class COhmixGraphView;

// The one map from command id to the code that carries it out. The
// application, the main frame and the graph view register their handlers
// here; menus, buttons and shortcuts all end in Run.
class CommandRouter {
public:
    using Handler = std::function<void()>;
    using ViewHandler = std::function<void(COhmixGraphView& view)>;

    // Where view commands go: the active view, or null when there is none.
    void SetViewSource(std::function<COhmixGraphView*()> source);
    // Registers (or replaces) the handler of a command.
    void Add(int id, Handler handler);
    // Registers (or replaces) a command that acts on the active view.
    void AddViewCommand(int id, ViewHandler handler);

    // True when a handler is registered for `id`.
    bool Has(int id) const;
    // Runs the handler of `id`; false when there is none, or when a view command
    // finds no view to act on.
    bool Run(int id) const;

private:
    std::map<int, Handler> handlers_;
    std::map<int, ViewHandler> viewHandlers_;
    std::function<COhmixGraphView*()> viewSource_;
};

}  // namespace kurvex
