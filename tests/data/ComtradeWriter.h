#pragma once

// Writes COMTRADE records field by field as IEEE C37.111 lists them, for
// tests of the reader: any revision, any data file type, .cfg/.dat or .cff.
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/platform/NumberText.h"

namespace kurvex::test {

struct ComtradeAnalog {
    std::string id, phase, unit = "V";
    double a = 1.0, b = 0.0;
    double primary = 1.0, secondary = 1.0;
    char side = 'P';
};

struct ComtradeDigital {
    std::string id, phase;
};

struct ComtradeRecord {
    std::string station = "Station", device = "Relay";
    int revision = 1999;
    std::string year;  // written in place of the revision's own where not empty
    std::vector<ComtradeAnalog> analogs;
    std::vector<ComtradeDigital> digitals;
    double lineFrequency = 50.0;
    // samp and endsamp; none writes "0" rates and one line "0,<samples>".
    std::vector<std::pair<double, long long>> rates;
    std::string start = "01/02/2020,10:00:00.000000", trigger = "01/02/2020,10:00:00.002500";
    std::string type = "BINARY";  // ASCII, BINARY, BINARY32 or FLOAT32
    double timeMult = 1.0;
    // Per sample: its time stamp (kNoStamp: missing), raw analog values (NaN:
    // missing) and digital bits.
    static constexpr std::uint32_t kNoStamp = 0xFFFFFFFFu;
    std::vector<std::uint32_t> stamps;
    std::vector<std::vector<double>> raw;
    std::vector<std::vector<int>> bits;

    std::string Cfg() const {
        std::string s = station + "," + device;
        if (!year.empty() || revision != 1991)
            s += "," + (year.empty() ? std::to_string(revision) : year);
        s += Format("\n%zu,%zuA,%zuD\n", analogs.size() + digitals.size(), analogs.size(),
                    digitals.size());
        for (size_t i = 0; i < analogs.size(); ++i) {
            const ComtradeAnalog& c = analogs[i];
            s += Format("%zu,%s,%s,bay,%s,%s,%s,0,-32767,32767", i + 1, c.id.c_str(),
                        c.phase.c_str(), c.unit.c_str(), ExactNumber(c.a).c_str(),
                        ExactNumber(c.b).c_str());
            if (revision != 1991)
                s += "," + ExactNumber(c.primary) + "," + ExactNumber(c.secondary) + "," + c.side;
            s += "\n";
        }
        for (size_t i = 0; i < digitals.size(); ++i) {
            const ComtradeDigital& c = digitals[i];
            s += revision == 1991
                     ? Format("%zu,%s,0\n", i + 1, c.id.c_str())
                     : Format("%zu,%s,%s,bay,0\n", i + 1, c.id.c_str(), c.phase.c_str());
        }
        s += ExactNumber(lineFrequency) + "\n";
        if (rates.empty()) {
            s += Format("0\n0,%zu\n", stamps.size());
        } else {
            s += Format("%zu\n", rates.size());
            for (const auto& [samp, end] : rates) s += ExactNumber(samp) + Format(",%lld\n", end);
        }
        s += start + "\n" + trigger + "\n" + type + "\n";
        if (revision != 1991) s += ExactNumber(timeMult) + "\n";
        if (revision == 2013) s += "+1h,+1h\nB,0\n";
        return s;
    }

    std::string Dat() const {
        std::string s;
        for (size_t n = 0; n < stamps.size(); ++n) {
            if (type == "ASCII") {
                s += std::to_string(n + 1) + ",";
                if (stamps[n] != kNoStamp) s += std::to_string(stamps[n]);
                for (double v : raw[n]) s += "," + (std::isnan(v) ? "" : ExactNumber(v));
                for (int b : bits[n]) s += "," + std::to_string(b);
                s += "\n";
                continue;
            }
            Put(static_cast<std::uint32_t>(n + 1), s);
            Put(stamps[n], s);
            for (double v : raw[n]) {
                if (type == "FLOAT32") {
                    Put(static_cast<float>(v), s);
                } else if (type == "BINARY32") {
                    Put(std::isnan(v) ? INT32_MIN : static_cast<std::int32_t>(v), s);
                } else {
                    Put(static_cast<std::int16_t>(std::isnan(v) ? INT16_MIN : v), s);
                }
            }
            for (size_t w = 0; w < (digitals.size() + 15) / 16; ++w) {
                std::uint16_t word = 0;
                for (size_t d = w * 16; d < std::min(digitals.size(), w * 16 + 16); ++d)
                    if (bits[n][d]) word |= static_cast<std::uint16_t>(1u << (d % 16));
                Put(word, s);
            }
        }
        return s;
    }

    std::string Cff() const {
        const std::string dat = Dat();
        return "--- file type: CFG ---\n" + Cfg() +
               "--- file type: INF ---\n[Public Record]\n--- file type: HDR ---\nA test.\n" +
               (type == "ASCII" ? std::string("--- file type: DAT ASCII ---\n")
                                : Format("--- file type: DAT BINARY: %zu ---\n", dat.size())) +
               dat;
    }

private:
    template <class T>
    static void Put(T v, std::string& s) {
        s.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
};

}  // namespace kurvex::test
