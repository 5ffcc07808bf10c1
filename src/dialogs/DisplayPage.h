#pragma once

#include "dialogs/PropertyPage.h"
#include "graph/CurveEdit.h"

class QCheckBox;
class QPushButton;

namespace kurvex {

class CColorSwatch;
class FontSample;

// "Screen": the colours, grid, axis font and axis text every screen shares.
class CDisplay_2_Page : public CPropertyPage {
    Q_OBJECT
public:
    explicit CDisplay_2_Page(SharedDisplay& display, QWidget* parent = nullptr);

    void Load() override;
    bool Leave() override;

private:
    void Store();
    void ChooseColour(CColorSwatch* swatch, Rgb SharedDisplay::*field);
    void ChooseFont();

    SharedDisplay& display_;
    CColorSwatch* foreground_;
    CColorSwatch* background_;
    CColorSwatch* grid_;
    QCheckBox* hideGrid_;
    FontSample* sample_;
    QCheckBox* hideAxisText_;
};

}  // namespace kurvex
