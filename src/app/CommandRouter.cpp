#include "app/CommandRouter.h"

namespace kurvex {

void CommandRouter::SetViewSource(std::function<COhmixGraphView*()> source) {
    viewSource_ = std::move(source);
}

void CommandRouter::Add(int id, Handler handler) {
    viewHandlers_.erase(id);
    handlers_[id] = std::move(handler);
}

void CommandRouter::AddViewCommand(int id, ViewHandler handler) {
    handlers_.erase(id);
    viewHandlers_[id] = std::move(handler);
}

bool CommandRouter::Has(int id) const {
    return handlers_.count(id) > 0 || viewHandlers_.count(id) > 0;
}

bool CommandRouter::Run(int id) const {
    if (const auto it = handlers_.find(id); it != handlers_.end()) {
        it->second();
        return true;
    }
    const auto it = viewHandlers_.find(id);
    if (it == viewHandlers_.end()) return false;
    COhmixGraphView* view = viewSource_ ? viewSource_() : nullptr;
    if (!view) return false;
    it->second(*view);
    return true;
}

}  // namespace kurvex
