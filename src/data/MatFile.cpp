#include "data/MatFile.h"

namespace kurvex {

bool LooksLikeMatFile(std::string_view, const std::string&) {
    return false;
}

bool ReadMatFile(const std::string& path, CResultDataRef&, UserMessages& messages,
                 const BinaryReadOptions&, std::vector<std::string>*) {
    messages.Show("MAT files are not read yet.\r\n\r\nCan not read file " + path,
                  MessageIcon::Stop);
    return false;
}

bool WriteMatFile(const CResultData&, const std::string& path, UserMessages& messages) {
    messages.Show("MAT files are not written yet: " + path, MessageIcon::Stop);
    return false;
}

}  // namespace kurvex
