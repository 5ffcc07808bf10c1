#include <gtest/gtest.h>

#include "graph/AnnotationCanvas.h"
#include "graph/AnnotationTemplates.h"
#include "interaction/AnnotationInput.h"
#include "interaction/MouseMode.h"

namespace kurvex {
namespace {

using Selection = std::vector<CGraphAnnotation*>;

using Screen = test::UnitScreen;
using test::Ends;
using test::LineEnds;

TEST(AnnotationInput, APressChoosesEndDragMoveOrRubberBand) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphLine* other = s.Line({100, 500}, {300, 500});
    CGraphText* text = s.Text({600, 600}, "abcd");
    s.Draw();
    struct Case {
        Selection selected;
        Point press;
        AnnotationDrag drag;
    } cases[] = {
        {{line}, {102, 101}, AnnotationDrag::LineEnd},  // within 4 pixels of the first end
        {{line}, {297, 99}, AnnotationDrag::LineEnd},
        {{line}, {200, 101}, AnnotationDrag::MoveSelection},  // the body
        // Two selected: an end hit moves them all.
        {{line, other}, {102, 101}, AnnotationDrag::MoveSelection},
        {{text}, {600, 600}, AnnotationDrag::MoveSelection},
        // Only selected annotations are hit; anything else starts a band.
        {{text}, {102, 101}, AnnotationDrag::RubberBand},
        {{line}, {1200, 100}, AnnotationDrag::None},  // outside the plot
    };
    for (const Case& c : cases) {
        s.Selected() = c.selected;
        AnnotationInput input;
        EXPECT_EQ(input.PressSelect(s.model, c.press), c.drag) << c.press.x << "," << c.press.y;
        EXPECT_EQ(input.Active(), c.drag != AnnotationDrag::None);
    }
}

TEST(AnnotationInput, AnEndDragMovesOnlyACopyUntilReleased) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    s.Draw();
    s.Selected() = {line};
    AnnotationInput input;
    ASSERT_EQ(input.PressSelect(s.model, {300, 100}), AnnotationDrag::LineEnd);
    const AnnotationRepaint moved = input.Move(s.model, {400, 250});
    ASSERT_EQ(input.Feedback().size(), 1u);
    const auto& copy = static_cast<const CGraphLine&>(*input.Feedback()[0]);
    EXPECT_TRUE(copy.Dragging());
    EXPECT_EQ(Ends(copy), (LineEnds{100, 900, 400, 750}));
    EXPECT_EQ(line->X2(), 300.0);  // the original waits for the release
    EXPECT_FALSE(moved.redraw);
    // The feedback's old and new places both repaint.
    EXPECT_TRUE(RectsMeet(moved.area, {299, 99, 302, 102}));
    EXPECT_TRUE(RectsMeet(moved.area, {399, 249, 402, 252}));

    const AnnotationRepaint done = input.Release(s.model, {410, 250});
    EXPECT_EQ(Ends(*line), (LineEnds{100, 900, 410, 750}));
    EXPECT_EQ(line->Flags(), 0u);
    EXPECT_TRUE(done.redraw && done.selectionAfter && !done.backToEscape);
    EXPECT_TRUE(RectsMeet(done.area, {95, 95, 100, 105}));  // the old line's handle
    EXPECT_TRUE(!input.Active() && input.Feedback().empty());

    // A cancelled drag, or one released where it began, changes nothing.
    ASSERT_EQ(input.PressSelect(s.model, {100, 100}), AnnotationDrag::LineEnd);
    input.Move(s.model, {500, 500});
    EXPECT_FALSE(input.Cancel().area.Empty());
    EXPECT_EQ(line->X1(), 100.0);
    ASSERT_EQ(input.PressSelect(s.model, {100, 100}), AnnotationDrag::LineEnd);
    EXPECT_FALSE(input.Release(s.model, {100, 100}).redraw);
    EXPECT_EQ(line->X1(), 100.0);
}

TEST(AnnotationInput, MovingShiftsTheWholeSelectionOnRelease) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* text = s.Text({600, 600}, "abcd");
    CGraphText* left = s.Text({800, 800}, "not selected");
    s.Draw();
    s.Selected() = {line, text};
    AnnotationInput input;
    ASSERT_EQ(input.PressSelect(s.model, {200, 100}), AnnotationDrag::MoveSelection);
    input.Move(s.model, {210, 90});
    input.Move(s.model, {230, 80});
    ASSERT_EQ(input.Feedback().size(), 2u);
    EXPECT_DOUBLE_EQ(static_cast<const CGraphText&>(*input.Feedback()[1]).X(), 630.0);
    EXPECT_EQ(text->X(), 600.0);

    const AnnotationRepaint r = input.Release(s.model, {230, 80});
    EXPECT_EQ(Ends(*line), (LineEnds{130, 920, 330, 920}));
    EXPECT_EQ(text->X(), 630.0);
    EXPECT_EQ(text->Y(), 420.0);
    EXPECT_EQ(left->X(), 800.0);
    EXPECT_TRUE(r.redraw && r.selectionAfter);
    EXPECT_EQ(s.Selected(), (Selection{line, text}));
}

TEST(AnnotationInput, ARubberBandSelectsWhatItMeetsAndASmallOneIsAClick) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* under = s.Text({600, 600}, "abcd");
    CGraphText* top = s.Text({603, 600}, "abcd");
    s.Draw();
    struct Case {
        Point press, release;
        Selection before, after;
    } cases[] = {
        // A click on a text selects the topmost one there.
        {{600, 600}, {602, 603}, {}, {top}},
        {{150, 102}, {150, 102}, {top}, {line}},
        // A click on empty plot area clears the selection.
        {{900, 300}, {903, 297}, {line, top}, {}},
        // Four pixels one way is a band, not a click: it reaches the line.
        {{150, 94}, {150, 98}, {}, {line}},
        {{50, 50}, {700, 700}, {}, {line, under, top}},
        {{250, 90}, {50, 110}, {}, {line}},  // dragged up and left
    };
    for (const Case& c : cases) {
        s.Selected() = c.before;
        AnnotationInput input;
        ASSERT_EQ(input.PressSelect(s.model, c.press), AnnotationDrag::RubberBand);
        input.Move(s.model, c.release);
        const AnnotationRepaint r = input.Release(s.model, c.release);
        EXPECT_EQ(s.Selected(), c.after) << c.press.x << "," << c.press.y;
        EXPECT_EQ(r.redraw, c.before != c.after);
        EXPECT_FALSE(r.selectionAfter);
        if (!c.before.empty()) {
            EXPECT_TRUE(RectsMeet(r.area, AreaOf(c.before, 0)));
        }
    }
}

TEST(AnnotationInput, DeleteAfterAClickOnEmptyAreaDoesNothing) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* stays = s.Text({500, 500}, "abcd");
    s.Draw();
    s.Selected() = {line};
    AnnotationInput input;
    input.PressSelect(s.model, {700, 700});
    input.Release(s.model, {700, 700});
    EXPECT_EQ(DeleteSelection(s.model, kModeEscape), AnnotationRepaint{});
    EXPECT_EQ(s.model.Annotations().size(), 2u);

    // Only mode 0 on a screen of graph kind 0 deletes.
    s.Selected() = {line};
    EXPECT_EQ(DeleteSelection(s.model, kModePan), AnnotationRepaint{});
    CGraphCurve band(kScreenBanded);
    EXPECT_EQ(DeleteSelection(band, kModeEscape), AnnotationRepaint{});
    const AnnotationRepaint r = DeleteSelection(s.model, kModeEscape);
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(r.area, (Rect{96, 96, 305, 105}));
    ASSERT_EQ(s.model.Annotations().size(), 1u);
    EXPECT_EQ(s.model.Annotations()[0].get(), stays);
    EXPECT_TRUE(s.Selected().empty());
}

TEST(AnnotationInput, PlacingATextAndDrawingALineReturnToModeZero) {
    Screen s;
    CGraphText* old = s.Text({600, 600}, "old");
    s.Draw();
    s.Selected() = {old};
    AnnotationTemplates templates;
    templates.Text().SetTextUtf8("new");
    templates.Text().SetJustification(kJustifyRight);
    const AnnotationRepaint placed = PlaceTextAt(s.model, templates.Text(), {250, 400});
    EXPECT_TRUE(placed.backToEscape && placed.redraw && placed.selectionAfter);
    EXPECT_TRUE(RectsMeet(placed.area, old->BoundingRect()));
    ASSERT_EQ(s.model.Annotations().size(), 2u);
    auto* text = static_cast<CGraphText*>(s.model.Annotations()[1].get());
    EXPECT_EQ(std::make_pair(text->X(), text->Y()), std::make_pair(250.0, 600.0));
    EXPECT_EQ(text->Justification(), kJustifyRight);
    EXPECT_EQ(text->Owner(), &s.model);
    EXPECT_EQ(s.Selected(), (Selection{text}));
    templates.Text().SetTextUtf8("changed");  // a copy, not the template itself
    EXPECT_EQ(text->TextUtf8(), "new");
    EXPECT_EQ(PlaceTextAt(s.model, templates.Text(), {-5, 400}), AnnotationRepaint{});

    templates.ApplyLineCommand(kCommandArrowLine);
    AnnotationInput input;
    ASSERT_EQ(input.PressLine(s.model, templates.Line(), {100, 100}), AnnotationDrag::NewLine);
    EXPECT_EQ(s.model.Annotations().size(), 2u);  // not in the list while drawn
    input.Move(s.model, {200, 300});
    const AnnotationRepaint line = input.Release(s.model, {200, 300});
    EXPECT_TRUE(line.backToEscape && line.redraw);
    ASSERT_EQ(s.model.Annotations().size(), 3u);
    auto* drawn = static_cast<CGraphLine*>(s.model.Annotations()[2].get());
    // The arrowhead end followed the pointer; the press holds the tail.
    EXPECT_EQ(Ends(*drawn), (LineEnds{200, 700, 100, 900}));
    EXPECT_EQ(drawn->Arrow(), 1);
    EXPECT_EQ(drawn->Flags(), 0u);
    EXPECT_EQ(s.Selected(), (Selection{drawn}));

    // A click without a drag draws no line and the line mode stays.
    ASSERT_EQ(input.PressLine(s.model, templates.Line(), {500, 500}), AnnotationDrag::NewLine);
    const AnnotationRepaint click = input.Release(s.model, {500, 500});
    EXPECT_FALSE(click.backToEscape || click.redraw);
    EXPECT_EQ(s.model.Annotations().size(), 3u);
    // A screen that cannot map starts nothing.
    s.model.StoreY({0, 0}, {5.0, 5.0, 0.0});
    EXPECT_EQ(input.PressLine(s.model, templates.Line(), {500, 500}), AnnotationDrag::None);
    s.model.SetPlot({});
    EXPECT_EQ(PlaceTextAt(s.model, templates.Text(), {1, 1}), AnnotationRepaint{});
}

TEST(AnnotationInput, DoubleClickFindsOnlyASelectedTextAndEditsIt) {
    Screen s;
    CGraphText* text = s.Text({600, 600}, "abcd");
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    s.Draw();
    EXPECT_EQ(SelectedTextAt(s.model, {600, 600}), nullptr);  // not selected
    s.Selected() = {line, text};
    EXPECT_EQ(SelectedTextAt(s.model, {600, 600}), text);
    EXPECT_EQ(SelectedTextAt(s.model, {200, 100}), nullptr);  // a line is no text

    CGraphText edited(*text);
    edited.SetTextUtf8("longer text");
    // What an edit takes over is the annotations' own test; here, that it is applied.
    const AnnotationRepaint r = ApplyTextEdit(*text, edited);
    EXPECT_EQ(text->TextUtf8(), "longer text");
    EXPECT_EQ(r.area, Inflate(edited.BoundingRect(), 4));
    EXPECT_TRUE(r.redraw && r.selectionAfter);
}

TEST(AnnotationInput, EachLineCommandSetsTheToolItIsCheckedFor) {
    struct Case {
        int command;
        std::int32_t style, arrow;
    } cases[] = {
        {kCommandDottedLine, kLinePenDotted, 0},
        {kCommandArrowLine, kLinePenSolid, 1},
        {kCommandSolidLine, kLinePenSolid, 0},
    };
    AnnotationTemplates templates;
    for (const Case& c : cases) {
        ASSERT_TRUE(SetMouseMode(kModePan));
        ASSERT_TRUE(StartLineTool(templates, c.command)) << c.command;
        EXPECT_EQ(MouseMode(), kModeLine);
        EXPECT_EQ(LineStyleFlag(), c.style) << c.command;
        EXPECT_EQ(ArrowFlag(), c.arrow) << c.command;
        EXPECT_EQ(templates.Line().Pen().style, c.style);
        EXPECT_EQ(templates.Line().Arrow(), c.arrow);
        for (const Case& other : cases)
            EXPECT_EQ(templates.LineCommandChecked(other.command, MouseMode()),
                      other.command == c.command)
                << c.command << " " << other.command;
        EXPECT_FALSE(templates.LineCommandChecked(c.command, kModeEscape));
    }
    // Any other command, or a refused mode change, leaves the mode.
    ASSERT_TRUE(SetMouseMode(kModePan));
    EXPECT_FALSE(StartLineTool(templates, kCommandAddText));
    SetMouseModeHook([](std::int32_t, std::int32_t) { return false; });
    EXPECT_FALSE(StartLineTool(templates, kCommandDottedLine));
    SetMouseModeHook({});
    EXPECT_EQ(MouseMode(), kModePan);
}

}  // namespace
}  // namespace kurvex
