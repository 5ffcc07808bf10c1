#include "dialogs/DialogText.h"

namespace kurvex {

QString ShownText(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string StoredText(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace kurvex
