#include "data/ComtradeFile.h"

namespace kurvex {

bool LooksLikeComtrade(std::string_view, const std::string&) {
    return false;
}

bool ReadComtradeFile(const std::string& path, CResultDataRef&, UserMessages& messages,
                      const BinaryReadOptions&, std::vector<std::string>*) {
    messages.Show("COMTRADE records are not read yet.\r\n\r\nCan not read file " + path,
                  MessageIcon::Stop);
    return false;
}

}  // namespace kurvex
