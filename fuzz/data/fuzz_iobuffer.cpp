// Reads arbitrary bytes as a settings stream, driven by the first bytes, and
// checks that what was read writes back to the same values; also loads the
// bytes as a length-prefixed block from a file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "data/platform/IOBuffer.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// One value read, kept to be written again.
struct Item {
    int kind = 0;
    std::uint32_t number = 0;
    double real = 0.0;
    std::string text;
};

void ReadAll(kurvex::CIOBuffer& in, std::string_view script, int depth, std::vector<Item>& items) {
    for (char c : script) {
        Check(in.Position() <= in.Size());
        Item it;
        it.kind = static_cast<unsigned char>(c) % 5;
        switch (it.kind) {
            case 0:
                it.number = in.ReadUInt32();
                break;
            case 1:
                it.real = in.ReadDouble();
                break;
            case 2:
                it.text = in.ReadString();
                Check(it.text.size() < 0xFFFF && it.text.find('\0') == std::string::npos);
                break;
            case 3: {
                kurvex::CIOBuffer nested = in.ReadBuffer();
                Check(nested.Mode() == kurvex::kIOBufferLoad);
                if (depth < 3) {
                    std::vector<Item> inner;
                    ReadAll(nested, script.substr(0, 4), depth + 1, inner);
                }
                it.text.assign(nested.Bytes());
                break;
            }
            default: {
                char bytes[5];
                in.ReadBytes(bytes, sizeof bytes);
                it.text.assign(bytes, sizeof bytes);
                break;
            }
        }
        items.push_back(it);
    }
    Check(in.Position() <= in.Size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const size_t scriptLength = std::min<size_t>(data[0], size - 1);
    const std::string_view script(reinterpret_cast<const char*>(data) + 1, scriptLength);
    const std::string_view body(reinterpret_cast<const char*>(data) + 1 + scriptLength,
                                size - 1 - scriptLength);

    kurvex::CIOBuffer in;
    in.Assign(body);
    in.SetMode(kurvex::kIOBufferLoad);
    std::vector<Item> items;
    ReadAll(in, script, 0, items);

    // Everything read writes back and reads again the same.
    kurvex::CIOBuffer out;
    out.SetMode(kurvex::kIOBufferStore);
    for (const Item& it : items) {
        switch (it.kind) {
            case 0:
                out.WriteUInt32(it.number);
                break;
            case 1:
                out.WriteDouble(it.real);
                break;
            case 2:
                out.WriteString(it.text);
                break;
            case 3: {
                kurvex::CIOBuffer nested;
                nested.Assign(it.text);
                out.AppendBuffer(nested);
                break;
            }
            default:
                out.WriteBytes(it.text.data(), it.text.size());
                break;
        }
    }
    out.Rewind();
    for (const Item& it : items) {
        switch (it.kind) {
            case 0:
                Check(out.ReadUInt32() == it.number);
                break;
            case 1: {
                const double d = out.ReadDouble();
                Check(std::memcmp(&d, &it.real, sizeof d) == 0);
                break;
            }
            case 2:
                Check(out.ReadString() == it.text);
                break;
            case 3:
                Check(out.ReadBuffer().Bytes() == it.text);
                break;
            default: {
                char bytes[5];
                out.ReadBytes(bytes, sizeof bytes);
                Check(std::string_view(bytes, 5) == it.text);
                break;
            }
        }
    }
    Check(out.AtEnd());

    // The body as a file holding a settings block.
    if (!body.empty()) {
        std::FILE* f = fmemopen(const_cast<char*>(body.data()), body.size(), "rb");
        if (f) {
            kurvex::CIOBuffer block;
            block.SetMode(kurvex::kIOBufferLoad);
            block.Attach(f);
            try {
                Check(block.Transfer());
                Check(block.Size() <= kurvex::kIOBufferMaxTransfer);
                Check(block.Size() + 4 <= body.size() || block.Size() == 0);
                if (block.Size()) Check(block.Bytes() == body.substr(4, block.Size()));
            } catch (const kurvex::CIOBufferException& e) {
                Check(e.GetCause() == kurvex::CIOBufferException::kTooLarge);
            }
            std::fclose(f);
        }
    }
    return 0;
}
