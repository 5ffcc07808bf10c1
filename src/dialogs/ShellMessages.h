#pragma once

#include <QString>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "data/platform/UserMessages.h"

class QWidget;

namespace kurvex {

// The core's messages as message boxes. While a worker loads, the messages
// it produces are kept and shown by the interface thread afterwards.
class ShellMessages : public UserMessages {
public:
    // Shows `text` at once, or keeps it while deferred.
    void Show(const std::string& text, MessageIcon icon) override;
    // While on, messages are kept rather than shown (a worker thread may call Show).
    void SetDeferred(bool on);
    // Shows what was kept, in order, and forgets it.
    void Flush();
    // Forgets what was kept.
    void Discard();

    // Shows one message now; the program's message box unless a presenter is set.
    static void Present(const std::string& text, MessageIcon icon);
    // Replaces the message boxes (tests record instead); empty restores them.
    static void SetPresenter(std::function<void(const std::string&, MessageIcon)> presenter);

private:
    std::mutex lock_;
    bool deferred_ = false;
    std::vector<std::pair<std::string, MessageIcon>> kept_;
};

// The messages of the program that belong to no document.
ShellMessages& ProgramMessages();

}  // namespace kurvex
