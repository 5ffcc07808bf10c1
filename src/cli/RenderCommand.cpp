#include "cli/RenderCommand.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>

#include "analysis/FrequencyDisplay.h"
#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "cli/RunOptions.h"
#include "controls/QPainterCanvas.h"
#include "data/platform/NumberText.h"
#include "graph/DisplayRecord.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/ViewLayout.h"
#include "graph/Zoom.h"
#include "graph/render/Renderer.h"

namespace kurvex::cli {

namespace {

constexpr int kMaxDefaultScreens = 8;

enum class PictureKind { Png, Svg, Pdf, Unknown };

PictureKind KindOf(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".png") return PictureKind::Png;
    if (ext == ".svg") return PictureKind::Svg;
    if (ext == ".pdf") return PictureKind::Pdf;
    return PictureKind::Unknown;
}

bool ParseSize(const std::string& text, int& w, int& h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    try {
        size_t used = 0;
        w = std::stoi(text.substr(0, x), &used);
        if (used != x) return false;
        h = std::stoi(text.substr(x + 1), &used);
        if (used != text.size() - x - 1) return false;
    } catch (const std::exception&) {
        return false;
    }
    return w >= 16 && h >= 16 && w <= 20000 && h <= 20000;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Measures text in the axis font the way the picture will draw it.
class QtMeasure : public TextMeasure {
public:
    TextSize Measure(const GraphFont& font, const std::string& text) const override {
        const QFontMetrics m(QPainterCanvas::ToQFont(ToCanvasFont(font, 1)));
        return {m.horizontalAdvance(QString::fromStdString(text)), m.height()};
    }
};

// Adds the curves named in `list` to `screen`; false with `error` set when a
// name is neither a variable nor a formula that can be computed.
bool AddCurves(CGraphCurve& screen, const CResultDataRef& data, const std::string& list,
               std::string& error) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string name = Trim(list.substr(start, comma - start));
        start = comma + 1;
        if (name.empty()) continue;
        CCurveEntry curve;
        const std::int32_t column = data.FindVariable(name.c_str());
        if (column >= 0) {
            curve = CCurveEntry::ForColumn(data, column);
        } else {
            curve = CCurveEntry::ForFormula(name);
            const CurveBindResult bound = curve.Bind(data);
            if (!bound.ok) {
                error = "'" + name + "' is no variable of the file and no formula over them";
                if (!bound.error.message.empty())
                    error += Format(" (error at %d: %s)", bound.error.position,
                                    bound.error.message.c_str());
                return false;
            }
        }
        std::vector<Rgb> shown;
        for (std::int32_t i = 0; i < screen.CurveCount(); ++i)
            shown.push_back(screen.Curve(i).colour);
        curve.colour = NextCurveColour(shown);
        screen.AddCurve(curve);
    }
    if (screen.CurveCount() == 0) {
        error = "a --screen names no curve";
        return false;
    }
    return true;
}

// Draws the screens, laid out as a view of w × h pixels would lay them out.
void DrawView(QPainter& painter, const std::vector<CGraphCurve*>& screens, int w, int h) {
    QPainterCanvas canvas(painter);
    const CharMetrics metrics = screens.front()->Metrics();
    const std::vector<PlotRect> places =
        LayoutScreens(static_cast<std::int32_t>(screens.size()), w, h, metrics.textHeight, 0);
    for (size_t i = 0; i < screens.size(); ++i) {
        DrawOptions o;
        o.target = places[i];
        o.recordLegend = false;
        o.drawGrid = screens[i]->GridShown() != 0;
        DrawMemory memory;
        DrawScreen(*screens[i], canvas, o, memory);
    }
}

int Save(const std::string& path, PictureKind kind, const std::vector<CGraphCurve*>& screens, int w,
         int h, std::FILE* err) {
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(err, "kurvex-cli: cannot create \"%s\": %s\n", path.c_str(),
                     file.errorString().toStdString().c_str());
        return kExitFailed;
    }
    bool ok = true;
    if (kind == PictureKind::Png) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            DrawView(painter, screens, w, h);
        }
        ok = image.save(&file, "PNG");
    } else if (kind == PictureKind::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        svg.setTitle("Kurvex");
        QPainter painter(&svg);
        DrawView(painter, screens, w, h);
        ok = painter.end();
    } else {
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(w * 72.0 / 96.0, h * 72.0 / 96.0), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&pdf);
        DrawView(painter, screens, w, h);
        ok = painter.end();
    }
    if (!ok || !file.commit()) {
        std::fprintf(err, "kurvex-cli: cannot write \"%s\"\n", path.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// The layout saved with the file: the display settings a .kfd carries, else
// the .ini file beside it. True when it gave screens.
bool HasSavedLayout(CIOBuffer& saved, const std::string& path, const ScreenBasis& basis,
                    std::vector<std::unique_ptr<CGraphCurve>>& screens, std::FILE* err) {
    if (saved.Size() > 0) {
        LoadedScreens loaded = ReadDisplayStream(saved, basis);
        screens = std::move(loaded.screens);
        if (!screens.empty()) return true;
    }
    StderrMessages messages(err);
    return LoadDisplaySettings(screens, SettingsFilePath(path), basis, messages);
}

// The render command line, checked.
struct RenderRequest {
    std::string file, target;
    PictureKind kind = PictureKind::Unknown;
    int w = 1600, h = 900;
    bool hasFrom = false;
    double from = 0, to = 0;
    RunChoice choice;
    RunOptions runOptions;
    bool screensGiven = false;
    std::vector<std::string> screens;  // --screen: each a list of curves
    bool ylog = false, fft = false;
};

// Parses and checks the command line into `req`; set with the exit status
// when it ends the command (help, or a usage error).
std::optional<int> ParseRender(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
                               RenderRequest& req) {
    Args args;
    if (const int status = StartCommand(Command("render"), argv, args, out, err); status >= 0)
        return status;
    if (args.positional.size() != 1) return Usage(err, "render needs exactly one FILE");
    if (!args.values.count("-o")) return Usage(err, "render needs -o OUT");
    req.file = args.positional[0];
    req.target = args.values["-o"];
    req.kind = KindOf(req.target);
    if (req.kind == PictureKind::Unknown) return Usage(err, "OUT must end in .png, .svg or .pdf");
    if (args.values.count("--size") && !ParseSize(args.values["--size"], req.w, req.h))
        return Usage(err, "--size wants WxH, 16 to 20000 pixels each way");
    if (const int status = ParseRange(args, err, req.hasFrom, req.from, req.to)) return status;
    if (const int status = ParseRunChoice(args, err, req.choice)) return status;
    if (const int status = ParseRunOptions(args, err, req.runOptions)) return status;
    req.screensGiven = args.lists.count("--screen") > 0;
    if (req.screensGiven) req.screens = args.lists["--screen"];
    req.ylog = args.flags.count("--ylog") > 0;
    req.fft = args.flags.count("--fft") > 0;
    return std::nullopt;
}

// Pictures need Qt's fonts and painting, never a display, and Qt's own
// chatter would only clutter what scripts read from standard error. Null when
// an application runs already.
std::unique_ptr<QGuiApplication> StartQt() {
    if (QCoreApplication::instance()) return nullptr;
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "kurvex-cli: %s\n", text.toLocal8Bit().constData());
    });
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kurvex-cli";
    static char* argvQt[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argvQt);
}

// The data set read (`loaded`), the part of it to draw (`data`) and the
// settings saved with it, and how its runs were lined up; 0 or the exit status.
int LoadDrawn(const RenderRequest& req, CResultDataRef& loaded, CResultDataRef& data,
              CIOBuffer& saved, std::vector<RunAdjust>& adjust, std::FILE* err) {
    if (const int status = Load(req.file, loaded, err, &saved)) return status;
    if (const int status = ApplyRunOptions(req.runOptions, loaded, err, &adjust)) return status;
    data = loaded;
    if (!req.choice.all) {
        std::vector<SelectedRun> runs;
        if (const int status = SelectRuns(loaded, req.choice, req.file, err, runs)) return status;
        data = runs.front().data;
        // Run 1 holds the others: drawn alone, it goes without them.
        if (data->RunCount() > 1) {
            CResultDataRef alone;
            alone.ShareColumnsOf(*data.Get());
            data = alone;
        }
    }
    return kExitOk;
}

// The screens of the picture: those asked for, else the layout saved with the
// file, else the default ones. `fit` says whether their ranges are still to
// be fitted. 0 or the exit status.
int MakeScreens(const RenderRequest& req, const CResultDataRef& data, CIOBuffer& saved,
                QtMeasure& measure, const GraphFont& font, const CharMetrics& metrics,
                std::vector<std::unique_ptr<CGraphCurve>>& screens, bool& fit, std::FILE* err) {
    auto newScreen = [&]() {
        auto s = std::make_unique<CGraphCurve>(kScreenOfView);
        s->SetData(data);
        s->SetFont(font, &measure);
        screens.push_back(std::move(s));
        return screens.back().get();
    };
    fit = true;
    if (req.screensGiven) {
        std::string error;
        for (const std::string& list : req.screens) {
            if (!AddCurves(*newScreen(), data, list, error)) {
                std::fprintf(err, "kurvex-cli: %s\n", error.c_str());
                return kExitFailed;
            }
        }
    } else if (HasSavedLayout(saved, req.file, ScreenBasis{data, metrics, &measure}, screens,
                              err)) {
        fit = false;  // the saved layout brings its ranges
    } else {
        DefaultScreens d = MakeDefaultScreens(data, metrics);
        fit = d.chooseCurves;
        if (d.chooseCurves) {
            const std::int32_t last = std::min(data->VariableCount() - 1, kMaxDefaultScreens);
            for (std::int32_t i = 1; i <= last; ++i) {
                CCurveEntry c = CCurveEntry::ForColumn(data, i);
                c.colour = kNewCurvePalette[0];
                newScreen()->AddCurve(c);
            }
        } else {
            screens = std::move(d.screens);
        }
    }
    if (screens.empty()) {
        std::fprintf(err, "kurvex-cli: %s has no variable to draw after X\n", req.file.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

// Stacks the screens into the view and sets their scales and ranges as asked;
// 0 or the exit status.
int ArrangeView(const RenderRequest& req, const CharMetrics& metrics,
                std::vector<std::unique_ptr<CGraphCurve>>& screens, bool fit,
                std::vector<CGraphCurve*>& view, std::FILE* err) {
    for (auto& s : screens) {
        s->SetMetrics(metrics);
        s->SetBottomScreen(false);
        view.push_back(s.get());
    }
    view.back()->SetBottomScreen(true);
    for (CGraphCurve* s : view) {
        if (req.ylog && !s->YLog()) {
            s->SetYScale(1);
            fit = true;
        }
        s->UpdateExtents();
    }
    if (fit) FitAll(view);
    if (req.hasFrom) {
        const double from = req.from, to = req.to;
        RangeFlags flags;
        for (CGraphCurve* s : view) {
            if (!s->SetXRange(s->XLog() ? std::log10(from) : from, s->XLog() ? std::log10(to) : to,
                              0, flags)) {
                std::fprintf(err, "kurvex-cli: the X range %g to %g cannot be shown\n", from, to);
                return kExitFailed;
            }
        }
    }
    if (req.fft) {
        // The frequency display of what is shown: the spectra of the visible range.
        StderrMessages messages(err);
        const DomainSwitchResult r = ToggleFrequencyDisplay(view, messages);
        if (r.did != DomainSwitch::kToFrequency) {
            std::fprintf(err, "kurvex-cli: no spectrum can be made over the X range shown\n");
            return kExitFailed;
        }
    }
    return kExitOk;
}

}  // namespace

int Render(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    RenderRequest req;
    if (const std::optional<int> ended = ParseRender(argv, out, err, req)) return *ended;
    const std::unique_ptr<QGuiApplication> app = StartQt();

    CResultDataRef loaded, data;
    CIOBuffer saved;
    std::vector<RunAdjust> adjust;
    if (const int status = LoadDrawn(req, loaded, data, saved, adjust, err)) return status;
    QtMeasure measure;
    const GraphFont font;
    const TextSize digits = measure.Measure(font, "0123456789");
    const CharMetrics metrics{digits.width, digits.height};
    std::vector<std::unique_ptr<CGraphCurve>> screens;
    bool fit = true;
    if (const int status = MakeScreens(req, data, saved, measure, font, metrics, screens, fit, err))
        return status;
    // The legend says how the runs drawn were lined up.
    if (req.choice.all)
        for (const auto& s : screens) s->SetRunAdjustments(adjust);
    std::vector<CGraphCurve*> view;
    if (const int status = ArrangeView(req, metrics, screens, fit, view, err)) return status;
    return Save(req.target, req.kind, view, req.w, req.h, err);
}

}  // namespace kurvex::cli
