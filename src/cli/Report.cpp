#include "cli/Report.h"

#include <cmath>

#include "cli/CliSupport.h"
#include "data/platform/NumberText.h"

namespace kurvex::cli {

Report Report::Integer(long long v) {
    Report r;
    r.kind_ = Kind::Integer;
    r.integer_ = v;
    return r;
}

Report Report::Number(std::optional<double> v) {
    if (!v || !std::isfinite(*v)) return Report();
    return Raw(*v);
}

Report Report::Raw(double v) {
    Report r;
    r.kind_ = Kind::Number;
    r.number_ = v;
    return r;
}

Report Report::Text(std::string v) {
    Report r;
    r.kind_ = Kind::Text;
    r.text_ = std::move(v);
    return r;
}

Report Report::List() {
    Report r;
    r.kind_ = Kind::List;
    return r;
}

Report Report::Object() {
    Report r;
    r.kind_ = Kind::Object;
    return r;
}

Report& Report::Add(std::string key, Report value) {
    members_.emplace_back(std::move(key), std::move(value));
    return *this;
}

Report& Report::Append(Report value) {
    items_.push_back(std::move(value));
    return *this;
}

std::string Report::Json() const {
    switch (kind_) {
        case Kind::Null:
            return "null";
        case Kind::Integer:
            return std::to_string(integer_);
        case Kind::Number:
            return Format("%.17g", number_);
        case Kind::Text:
            return JsonString(text_);
        case Kind::List: {
            std::string s = "[";
            for (std::size_t i = 0; i < items_.size(); ++i) s += (i ? ", " : "") + items_[i].Json();
            return s + "]";
        }
        case Kind::Object:
            break;
    }
    std::string s = "{";
    for (std::size_t i = 0; i < members_.size(); ++i)
        s += (i ? ", " : "") + JsonString(members_[i].first) + ": " + members_[i].second.Json();
    return s + "}";
}

}  // namespace kurvex::cli
