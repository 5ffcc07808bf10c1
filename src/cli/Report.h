#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kurvex::cli {

// A command's answer as a tree: printed as JSON by kurvex-cli and handed to
// Python as dicts and lists, so both give the same keys and values.
class Report {
public:
    enum class Kind { Null, Integer, Number, Text, List, Object };

    Report() = default;
    static Report Integer(long long v);
    // A number, null when missing or not finite.
    static Report Number(std::optional<double> v);
    // A number printed whatever it is (%.17g), as a sample's own value is.
    static Report Raw(double v);
    static Report Text(std::string v);
    static Report List();
    static Report Object();

    // Adds a member to an object (in order) or an item to a list.
    Report& Add(std::string key, Report value);
    Report& Append(Report value);

    Kind kind() const { return kind_; }
    long long integer() const { return integer_; }
    double number() const { return number_; }
    const std::string& text() const { return text_; }
    const std::vector<Report>& items() const { return items_; }
    const std::vector<std::pair<std::string, Report>>& members() const { return members_; }

    // {"key": value, ...} with ", " and ": ", numbers as %.17g.
    std::string Json() const;

private:
    Kind kind_ = Kind::Null;
    long long integer_ = 0;
    double number_ = 0;
    std::string text_;
    std::vector<Report> items_;
    std::vector<std::pair<std::string, Report>> members_;
};

}  // namespace kurvex::cli
