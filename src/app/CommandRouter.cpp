#include "app/CommandRouter.h"

#include <QtGlobal>

namespace kurvex {

void CommandRouter::SetViewSource(std::function<COhmixGraphView*()> source) {
    viewSource_ = std::move(source);
}

bool CommandRouter::Accepts(int id) {
    if (!Has(id)) return true;
    // Two handlers for one id are a slip of the code, not of the user: the first keeps working,
    // and the refusal is kept where the tests look for it.
    refused_.push_back(id);
    qWarning("Command %d has a handler already; the second one is ignored.", id);
    return false;
}

bool CommandRouter::Add(int id, Handler handler) {
    if (!Accepts(id)) return false;
    handlers_.emplace(id, std::move(handler));
    return true;
}

bool CommandRouter::AddViewCommand(int id, ViewHandler handler) {
    if (!Accepts(id)) return false;
    viewHandlers_.emplace(id, std::move(handler));
    return true;
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
