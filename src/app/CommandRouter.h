#pragma once

#include <functional>
#include <map>
#include <vector>

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
    // Registers the handler of a command; false, keeping the handler there is, when `id` has
    // one already.
    bool Add(int id, Handler handler);
    // Registers a command that acts on the active view; false as Add.
    bool AddViewCommand(int id, ViewHandler handler);

    // True when a handler is registered for `id`.
    bool Has(int id) const;
    // Runs the handler of `id`; false when there is none, or when a view command
    // finds no view to act on.
    bool Run(int id) const;
    // The ids whose second registration was refused, in the order they came.
    const std::vector<int>& Refused() const { return refused_; }

private:
    bool Accepts(int id);

    std::map<int, Handler> handlers_;
    std::map<int, ViewHandler> viewHandlers_;
    std::function<COhmixGraphView*()> viewSource_;
    std::vector<int> refused_;
};

}  // namespace kurvex
