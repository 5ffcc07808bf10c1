#pragma once

#include <QSizeF>
#include <QString>
#include <ctime>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"
#include "graph/PageGeometry.h"

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace kurvex {

// What one printed page of a view shows.
struct PrintJob {
    std::vector<CGraphCurve*> screens;  // top first
    std::string printTitle;             // the document's; empty: its name
    std::string documentName;
    bool noTitle = false;
    PageMargins margins;  // the options' margins
};

// The one printer of the application, high resolution; its page layout's own
// margins are 0, so that the page set-up's margins are the only ones.
QPrinter& ApplicationPrinter();
// The printable area of a printer in inches: its paint rectangle with the
// page layout's margins at 0.
QSizeF PrintableInches(QPrinter& printer);

// Draws the page onto `painter`, open on `page` (a printer, or any device
// with a resolution): the title block (unless "No title") with the date of
// `now`, then every screen at the scale factor of a screen of screenDpi dots
// per inch.
void DrawViewPage(QPainter& painter, const QPaintDevice& page, const PrintJob& job,
                  const std::tm& now, int screenDpiX, int screenDpiY);
// Prints the page on `printer`; false when the printer cannot be opened.
bool PrintView(QPrinter& printer, const PrintJob& job);

// "Print...": the print dialog on the application printer, then the page.
bool PrintWithDialog(QWidget* parent, const PrintJob& job);
// "Print Preview": the page in a preview window that can print it.
void PrintPreview(QWidget* parent, const PrintJob& job);
// "P&rint Setup...": paper, orientation and printer of the application printer.
bool PrintSetup(QWidget* parent);
// Prints the page as a PDF file in the application printer's paper, needing
// no printer; an old file at `path` stays whole on failure. False with
// `error` set when the file cannot be written.
bool PrintToPdf(const QString& path, const PrintJob& job, QString* error = nullptr);

}  // namespace kurvex
