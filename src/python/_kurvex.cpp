// The compiled half of the kurvex Python module: reading result files and the
// batch commands' measurements, over the same code kurvex-cli runs.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/MeasScript.h"
#include "analysis/MeasSource.h"
#include "analysis/MeasureCatalogue.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/FftCommand.h"
#include "cli/MeasureCommand.h"
#include "cli/RenderCommand.h"
#include "data/model/ResultData.h"
#include "data/platform/NameText.h"
#include "data/platform/Workers.h"
#include "formula/FormulaVariable.h"

namespace py = pybind11;

// The build defines the project's version; a build without it still imports.
#ifndef KURVEX_VERSION
#define KURVEX_VERSION "unknown"
#endif

namespace kurvex::python {

namespace {

// Raised as kurvex.Error.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The text a command wrote on standard error, without the trailing line end.
std::string Stripped(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Runs a command on captured streams: its standard output and status; its
// standard error when it fails.
int RunCaptured(const std::function<int(std::FILE*, std::FILE*)>& command, std::string& out,
                std::string& err) {
    int status = cli::kExitFailed;
    cli::Captured(
        [&](std::FILE* e) {
            return cli::Captured([&](std::FILE* o) { return status = command(o, e); }, out);
        },
        err);
    return status;
}

// A name of the file as text: names are bytes, shown as the windows show them.
py::str Text(const std::string& bytes) {
    return py::str(DisplayName(bytes));
}

}  // namespace

// A loaded result: one run of a data set (run 1 unless a later one was asked
// for), held by reference so the arrays handed out can share its samples.
class Result {
public:
    Result(CResultDataRef data, std::string path)
        : data_(std::move(data)), path_(std::move(path)) {}

    const CResultDataRef& Data() const { return data_; }
    const std::string& Path() const { return path_; }

    py::list Names() const {
        py::list names;
        for (std::int32_t i = 0; i < data_->VariableCount(); ++i)
            names.append(Text(data_->Variable(i)->Name()));
        return names;
    }

    py::list RunNames() const {
        py::list names;
        for (std::int32_t k = 0; k < data_->RunCount(); ++k) names.append(Text(data_->RunName(k)));
        return names;
    }

    // The column `name` (any letter case); kurvex.Error when there is none.
    std::int32_t Column(const std::string& name) const {
        std::int32_t column = data_.FindVariable(name.c_str());
        if (column >= 0) return column;
        // A name that is not UTF-8 in the file is asked for as it was shown.
        for (std::int32_t i = 0; i < data_->VariableCount(); ++i) {
            const std::string shown = DisplayName(data_->Variable(i)->Name());
            if (shown.size() == name.size() &&
                std::equal(shown.begin(), shown.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return i;
        }
        throw Error("no variable named '" + name + "' in " + path_);
    }

    // The samples of `name` without a copy: the array's base holds the data set.
    py::array Samples(const std::string& name) const {
        const CResultVariable* v = data_->Variable(Column(name));
        const py::capsule owner(new CResultDataRef(data_),
                                [](void* p) { delete static_cast<CResultDataRef*>(p); });
        py::array array(py::dtype::of<double>(), {static_cast<py::ssize_t>(data_->RowCount())},
                        {static_cast<py::ssize_t>(sizeof(double))}, v->Values(), owner);
        py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
        return array;
    }

    py::array_t<bool> Valid(const std::string& name) const {
        const CResultVariable* v = data_->Variable(Column(name));
        const std::int32_t rows = data_->RowCount();
        py::array_t<bool> valid(rows);
        bool* to = valid.mutable_data();
        const std::uint8_t* flags = v->Flags();
        for (std::int32_t i = 0; i < rows; ++i) to[i] = !flags || flags[i] == kPointValid;
        return valid;
    }

    // Run k (from 1) as a result of its own.
    Result Run(std::int32_t k) const {
        cli::RunChoice choice;
        choice.run = k - 1;
        if (k < 1) throw Error("runs are numbered from 1");
        std::vector<cli::SelectedRun> runs;
        std::string out, err;
        const int status = RunCaptured(
            [&](std::FILE*, std::FILE* e) {
                return cli::SelectRuns(data_, choice, path_, e, runs);
            },
            out, err);
        if (status) throw Error(Stripped(err));
        return Result(runs.front().data, path_);
    }

    py::object ToPandas() const {
        py::module_ pandas;
        try {
            pandas = py::module_::import("pandas");
        } catch (py::error_already_set&) {
            throw Error("to_pandas needs pandas, which is not installed (python3-pandas)");
        }
        py::dict columns;
        py::list order;
        for (std::int32_t i = 0; i < data_->VariableCount(); ++i) {
            py::str name = Text(data_->Variable(i)->Name());
            // Two columns of one name stay apart: the later one gets its index.
            if (columns.contains(name)) name = py::str(std::string(name) + "#" + std::to_string(i));
            columns[name] = Samples(data_->Variable(i)->Name());
            order.append(name);
        }
        return pandas.attr("DataFrame")(columns, py::arg("columns") = order);
    }

    std::int32_t Rows() const { return data_->RowCount(); }

private:
    CResultDataRef data_;
    std::string path_;
};

namespace {

Result Open(const std::string& path, std::optional<std::int32_t> plot) {
    if (plot && *plot < 1) throw Error("plots are numbered from 1");
    CResultDataRef data;
    std::string out, err;
    int status;
    {
        py::gil_scoped_release release;
        status = RunCaptured(
            [&](std::FILE*, std::FILE* e) {
                return cli::Load(path, data, e, nullptr, plot ? *plot - 1 : -1);
            },
            out, err);
    }
    if (status) throw Error(Stripped(err));
    return Result(data, path);
}

// What a command made of `args` printed; kurvex.Error with its complaint when it failed.
std::string Command(const std::function<int(std::FILE*, std::FILE*)>& command) {
    std::string out, err;
    int status;
    {
        py::gil_scoped_release release;
        status = RunCaptured(command, out, err);
    }
    if (status) throw Error(Stripped(err));
    return out;
}

const CResultDataRef* Given(const Result* result) {
    return result ? &result->Data() : nullptr;
}

// A measurement's tree as dicts, lists, floats, ints, strings and None.
py::object ToPython(const cli::Report& r) {
    switch (r.kind()) {
        case cli::Report::Kind::Null:
            return py::none();
        case cli::Report::Kind::Integer:
            return py::int_(r.integer());
        case cli::Report::Kind::Number:
            return py::float_(r.number());
        case cli::Report::Kind::Text:
            return Text(r.text());
        case cli::Report::Kind::List: {
            py::list list;
            for (const cli::Report& item : r.items()) list.append(ToPython(item));
            return list;
        }
        case cli::Report::Kind::Object:
            break;
    }
    py::dict dict;
    for (const auto& [key, value] : r.members()) dict[py::str(key)] = ToPython(value);
    return dict;
}

py::object Measure(const std::vector<std::string>& args, const Result* result) {
    cli::Report report;
    std::string out, err;
    int status;
    {
        py::gil_scoped_release release;
        status = RunCaptured(
            [&](std::FILE*, std::FILE* e) {
                return cli::MeasureReport(args, e, Given(result), report);
            },
            out, err);
    }
    if (status) throw Error(Stripped(err));
    return ToPython(report);
}

// The catalogue of measurements: key, caption and what each takes.
py::list Catalogue() {
    py::list list;
    for (const MeasureEntry& e : MeasureCatalogue()) {
        py::dict entry;
        entry["key"] = e.key;
        entry["caption"] = e.caption;
        entry["takes_x"] = (e.takes & (kTakesX | kTakesCursor)) != 0;
        entry["takes_other"] = (e.takes & kTakesOther) != 0;
        list.append(entry);
    }
    return list;
}

std::string Fft(const std::vector<std::string>& args, const Result* result) {
    return Command(
        [&](std::FILE* o, std::FILE* e) { return cli::FftSpectra(args, o, e, Given(result)); });
}

py::tuple Spectrum(const std::vector<std::string>& args, const Result* result) {
    std::vector<RefPtr<CResultVariable>> spectra;
    Command([&](std::FILE* o, std::FILE* e) {
        return cli::FftSpectra(args, o, e, Given(result), &spectra);
    });
    auto copy = [](const CResultVariable& v) {
        py::array_t<double> a(v.Capacity());
        std::copy(v.Values(), v.Values() + v.Capacity(), a.mutable_data());
        return a;
    };
    return py::make_tuple(copy(*spectra.at(0)), copy(*spectra.at(1)));
}

py::array_t<double> Eval(const Result& result, const std::string& formula) {
    FormulaBuild build;
    {
        py::gil_scoped_release release;
        build = BuildFormulaVariable(result.Data(), formula);
    }
    if (!build.variable) {
        if (build.error.message.empty())
            throw Error("a formula needs a result of at least two rows: " + formula);
        throw Error("error at " + std::to_string(build.error.position) + ": " +
                    build.error.message);
    }
    const std::int32_t rows = result.Rows();
    py::array_t<double> values(rows);
    double* to = values.mutable_data();
    const double* from = build.variable->Values();
    const std::uint8_t* flags = build.variable->Flags();
    for (std::int32_t i = 0; i < rows; ++i)
        to[i] =
            !flags || flags[i] == kPointValid ? from[i] : std::numeric_limits<double>::quiet_NaN();
    return values;
}

// The parsed script of a file or of text; ValueError at a syntax error, OSError
// for a file that cannot be read. `shown` names the script in messages.
MeasScript ParsedScript(const std::string& script, bool isText, std::string& shown) {
    std::vector<MeasSourceLine> lines;
    if (isText) {
        shown = "<script>";
        lines = MeasLinesOf(script, MeasSourceKindOf("", script));
    } else {
        shown = script;
        std::string error;
        if (!ReadMeasSource(script, lines, error)) {
            PyErr_SetString(PyExc_OSError, error.c_str());
            throw py::error_already_set();
        }
    }
    MeasScript parsed;
    MeasSyntaxError syntax;
    if (!ParseMeasScript(lines, parsed, syntax)) {
        throw py::value_error(shown + ":" + std::to_string(syntax.line) + ":" +
                              std::to_string(syntax.column) + ": " + syntax.message);
    }
    return parsed;
}

// The statements' names and what is left out, as kurvex-cli meas complains of it.
py::tuple MeasNames(const MeasScript& script, const std::string& shown) {
    py::list names, unsupported;
    for (const MeasStatement& st : script.statements) names.append(Text(st.name));
    for (const MeasUnsupported& u : script.unsupported) {
        unsupported.append(py::str(shown + ":" + std::to_string(u.line) + ": " + u.name +
                                   ": not supported: " + u.reason));
    }
    return py::make_tuple(names, unsupported);
}

py::tuple MeasScriptOf(const std::string& script, bool isText) {
    std::string shown;
    return MeasNames(ParsedScript(script, isText, shown), shown);
}

py::object Number(double v) {
    return std::isfinite(v) ? py::object(py::float_(v)) : py::object(py::none());
}

// Every statement of the script over run `run` (from 1; every run when none) of
// the result or of the file `path`: what kurvex-cli meas --json prints, and the
// unsupported statements. The script is checked before the file is read.
py::tuple Meas(const Result* result, const std::string& path, const std::string& script,
               bool isText, std::optional<std::int32_t> run) {
    std::string shown;
    const MeasScript parsed = ParsedScript(script, isText, shown);
    if (run && *run < 1) throw Error("runs are numbered from 1");
    CResultDataRef data;
    if (result) {
        data = result->Data();
    } else {
        std::string out, err;
        int status;
        {
            py::gil_scoped_release release;
            status = RunCaptured([&](std::FILE*, std::FILE* e) { return cli::Load(path, data, e); },
                                 out, err);
        }
        if (status) throw Error(Stripped(err));
    }
    const std::int32_t count = data->RunCount();
    if (run && *run > count) {
        throw Error("there is no run " + std::to_string(*run) + ": " + path + " holds " +
                    std::to_string(count) + " run" + (count == 1 ? "" : "s"));
    }
    const std::int32_t first = run ? *run - 1 : 0, last = run ? *run - 1 : count - 1;
    std::vector<std::vector<MeasValue>> values;
    {
        py::gil_scoped_release release;
        for (std::int32_t k = first; k <= last; ++k) {
            values.push_back(EvaluateMeasScript(parsed, data, k));
            MeasValue missing;
            missing.error = "not measured";
            values.back().resize(parsed.statements.size(), missing);
        }
    }
    py::list runs;
    for (std::int32_t k = first; k <= last; ++k) {
        py::dict measures;
        for (std::size_t i = 0; i < parsed.statements.size(); ++i) {
            const MeasValue& v = values[k - first][i];
            py::dict keys;
            if (!v.Ok()) {
                keys["error"] = py::str(v.error);
            } else {
                if (v.value) keys["value"] = Number(*v.value);
                if (v.at) keys["at"] = Number(*v.at);
                if (v.trig) keys["trig"] = Number(*v.trig);
                if (v.targ) keys["targ"] = Number(*v.targ);
            }
            measures[Text(parsed.statements[i].name)] = keys;
        }
        py::dict entry;
        entry["run"] = k + 1;
        entry["name"] = Text(data->RunName(k));
        entry["measures"] = measures;
        runs.append(entry);
    }
    py::dict answer;
    answer["runs"] = runs;
    return py::make_tuple(answer, MeasNames(parsed, shown)[1]);
}

std::string Render(const std::vector<std::string>& args) {
    return Command([&](std::FILE* o, std::FILE* e) { return cli::Render(args, o, e); });
}

}  // namespace

}  // namespace kurvex::python

PYBIND11_MODULE(_kurvex, m) {
    using namespace kurvex::python;
    m.doc() = "The compiled part of kurvex; use the kurvex package.";
    py::register_exception<Error>(m, "Error");
    m.attr("__version__") = KURVEX_VERSION;
#ifdef KURVEX_WITH_GUI
    m.attr("has_render") = true;
#else
    m.attr("has_render") = false;
#endif

    py::class_<Result>(m, "Result",
                       "A result file read into memory; result[name] gives a column's samples.")
        .def_property_readonly("names", &Result::Names, "Variable names, X first.")
        .def_property_readonly(
            "x_name",
            [](const Result& r) {
                return r.Data()->VariableCount() ? Text(r.Data()->Variable(0)->Name()) : py::str();
            },
            "The name of X.")
        .def_property_readonly("rows", &Result::Rows, "Number of rows (of this run).")
        .def_property_readonly(
            "uniform_x", [](const Result& r) { return r.Data()->UniformX() != 0; },
            "True when X is equally spaced.")
        .def_property_readonly(
            "bad_points", [](const Result& r) { return r.Data()->BadPoints() != 0; },
            "True when some sample is invalid, as kurvex-cli info reports bad_points.")
        .def_property_readonly("runs", &Result::RunNames,
                               "Run names, one per run (an empty name for an unnamed single run).")
        .def_property_readonly("path", &Result::Path, "The file the result was read from.")
        .def("__getitem__", &Result::Samples, py::arg("name"),
             "The samples of variable `name` (any letter case) as a read-only float64 array "
             "over the result's own memory, no copy.")
        .def("__len__", &Result::Rows)
        .def(
            "__contains__",
            [](const Result& r, const std::string& name) {
                try {
                    r.Column(name);
                    return true;
                } catch (const Error&) {
                    return false;
                }
            },
            py::arg("name"))
        .def("valid", &Result::Valid, py::arg("name"),
             "Per sample of `name`: True where the sample is valid.")
        .def("run", &Result::Run, py::arg("k"),
             "Run k (from 1) as a Result of its own; run(1) is this result's first run.")
        .def("to_pandas", &Result::ToPandas, "A pandas DataFrame of every column (needs pandas).")
        .def("__repr__", [](const Result& r) {
            return "<kurvex.Result " + r.Path() + ": " + std::to_string(r.Rows()) + " rows, " +
                   std::to_string(r.Data()->VariableCount()) + " variables>";
        });

    m.def("open", &Open, py::arg("path"), py::arg("plot") = py::none(),
          "Reads a result file; plot N (from 1) picks one plot of a SPICE raw file.");
    m.def("_measure", &Measure, py::arg("args"), py::arg("result").none(true),
          "What kurvex-cli measure's --json form gives for `args`, as dicts and lists.");
    m.def("_catalogue", &Catalogue, "The catalogue of measurements.");
    m.def("_fft", &Fft, py::arg("args"), py::arg("result").none(true),
          "kurvex-cli fft's output for `args`.");
    m.def("_spectrum", &Spectrum, py::arg("args"), py::arg("result").none(true),
          "Frequency and amplitude of kurvex-cli fft for `args` as arrays.");
    m.def("_eval", &Eval, py::arg("result"), py::arg("formula"),
          "A formula's values over a result, NaN where invalid.");
    m.def("set_threads", &kurvex::SetDefaultWorkerCount, py::arg("count"),
          "Threads each read or measurement may use from now on in this process; 0 (the\n"
          "start) for the machine's cores. A process that runs one task per core sets 1.");
    m.def("_meas", &Meas, py::arg("result").none(true), py::arg("path"), py::arg("script"),
          py::arg("is_text"), py::arg("run").none(true),
          "kurvex-cli meas FILE SCRIPT --json as a dict, and the unsupported statements.");
    m.def("_meas_script", &MeasScriptOf, py::arg("script"), py::arg("is_text"),
          "The statement names of a script and its unsupported statements.");
    m.def("_render", &Render, py::arg("args"), "kurvex-cli render with `args`.");
}
