// How the Qt windows look whatever the desktop gives them: a dark theme's colours, a screen too
// small for their first size, and their smallest size. The same tests run at 200 % too (ctest's
// ui.Scaled.* run them with QT_SCALE_FACTOR=2 on a screen of 1600 x 1000).
#include "qt_windows.h"
#include "ui/form_helpers.h"
#include "ui/link_label.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace kvb;
using namespace kvb::test;
using namespace kvb::ui;

namespace {

// A dark palette as desktops make them; linkColour as the theme has it.
QPalette DarkPalette(const QColor &linkColour)
{
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), base(0x24, 0x24, 0x24), text(0xEE, 0xEE, 0xEE);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, linkColour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

// The application's palette for one test, and the one before it again afterwards.
struct ThemeGuard {
    QPalette before = QApplication::palette();
    explicit ThemeGuard(const QPalette &palette) { QApplication::setPalette(palette); }
    ~ThemeGuard() { QApplication::setPalette(before); }
};

// The colour most of image's pixels have: a widget's background behind its text.
QColor MostCommonColour(const QImage &image)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    return QColor(std::max_element(counts.begin(), counts.end(), [](const auto &a, const auto &b) {
                      return a.second < b.second;
                  })->first);
}

void ExpectReadable(QWidget &window, QListWidget *info, const std::vector<TLinkLabel *> &links)
{
    // The info lines' text on the background the list really draws.
    const QPalette p = info->palette();
    const QColor drawn = MostCommonColour(info->viewport()->grab().toImage());
    EXPECT_EQ(drawn.rgb(), p.color(QPalette::Base).rgb());
    EXPECT_GE(ContrastRatio(p.color(QPalette::Text), drawn), 4.5);
    EXPECT_GE(ContrastRatio(p.color(QPalette::Disabled, QPalette::Text),
                            p.color(QPalette::Disabled, QPalette::Base)),
              4.5);
    for (TLinkLabel *link : links)
        EXPECT_GE(ContrastRatio(link->palette().color(QPalette::WindowText),
                                window.palette().color(QPalette::Window)),
                  4.5)
            << link->objectName().toStdString();
}

// Every pair of the window's visible controls, and whether any two overlap; the controls'
// rectangles in the window's coordinates.
std::vector<std::string> Overlaps(QWidget &window, const std::vector<std::string> &names)
{
    std::vector<std::pair<std::string, QRect>> places;
    for (const std::string &name : names) {
        auto *w = window.findChild<QWidget *>(QString::fromStdString(name));
        if (w && w->isVisible())
            places.emplace_back(name, QRect(w->mapTo(&window, QPoint(0, 0)), w->size()));
    }
    std::vector<std::string> overlaps;
    for (size_t i = 0; i < places.size(); ++i) {
        const QRect &r = places[i].second;
        if (!QRect(QPoint(0, 0), window.size()).contains(r))
            overlaps.push_back(places[i].first + " outside the window");
        for (size_t j = i + 1; j < places.size(); ++j)
            if (r.intersects(places[j].second))
                overlaps.push_back(places[i].first + " and " + places[j].first);
    }
    return overlaps;
}

template <typename Logic>
std::vector<std::string> Names(const logic::TWindowDescription<Logic> &description)
{
    std::vector<std::string> names;
    for (const auto &c : description.Controls)
        names.push_back(c.Name);
    return names;
}

// Each control at least as tall and wide as the least size its description and its widget
// ask for.
template <typename Logic>
void ExpectAtLeastTheirLeastSize(QWidget &window, const logic::TWindowDescription<Logic> &description)
{
    for (const auto &c : description.Controls) {
        auto *w = window.findChild<QWidget *>(QString::fromStdString(c.Name));
        if (!w->isVisible())
            continue;
        SCOPED_TRACE(c.Name);
        EXPECT_GE(w->height(), c.LeastHeight);
        EXPECT_GE(w->width(), c.LeastWidth);
        EXPECT_GE(w->height(), w->minimumSizeHint().height());
    }
}

bool Inside(const QRect &frame, const QRect &free)
{
    return free.contains(frame);
}

} // namespace

TEST(Looks, InADarkThemeTextAndLinksStandOutFromTheirBackground)
{
    // A theme with a link colour of its own for dark backgrounds, and one that kept the light
    // themes' blue.
    for (const QColor link : {QColor(0x8A, 0xB4, 0xF8), QColor(Qt::blue)}) {
        SCOPED_TRACE(link.name().toStdString());
        ThemeGuard dark(DarkPalette(link));
        QtWindows q;
        q.Open(ArchiveBuilder().Add("A.BIN", "a").Build());
        q.w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
        ExpectReadable(q.w, q.w.lstInfo, {q.w.Label3, q.w.Label4});
        // A link colour that is readable is the theme's own.
        if (link != QColor(Qt::blue)) {
            EXPECT_EQ(q.w.Label4->palette().color(QPalette::WindowText), link);
        }
        q.a.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.a));
        ExpectReadable(q.a, q.a.lstInfo, {});
        q.a.hide();
    }
    // In the light theme the info lines are grey on the window's grey, the links the theme's.
    QtWindows q;
    EXPECT_EQ(q.w.Label4->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Link));
    EXPECT_EQ(q.w.lstInfo->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Window));
}

TEST(Looks, AtTheirSmallestSizeNoControlOverlapsAnother)
{
    QtWindows q;
    q.Open(ArchiveBuilder().Add("A.BIN", "a").Build());
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    q.w.resize(q.w.minimumSize());
    q.w.layout()->activate();
    QTest::qWait(20);
    SCOPED_TRACE("main window " + std::to_string(q.w.width()) + " x " + std::to_string(q.w.height()));
    ASSERT_EQ(q.w.size(), q.w.minimumSize());
    EXPECT_EQ(Overlaps(q.w, Names(logic::TKVBEditorLogic::Description())), std::vector<std::string>{});
    ExpectAtLeastTheirLeastSize(q.w, logic::TKVBEditorLogic::Description());

    q.a.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.a));
    q.a.resize(q.a.minimumSize());
    q.a.layout()->activate();
    QTest::qWait(20);
    SCOPED_TRACE("advanced window " + std::to_string(q.a.width()) + " x " + std::to_string(q.a.height()));
    ASSERT_EQ(q.a.size(), q.a.minimumSize());
    EXPECT_EQ(Overlaps(q.a, Names(logic::TAdvancedLogic::Description())), std::vector<std::string>{});
    ExpectAtLeastTheirLeastSize(q.a, logic::TAdvancedLogic::Description());
    q.a.hide();
}

TEST(Looks, TheWindowsOpenInsideTheScreensFreeArea)
{
    QtWindows q;
    const QRect free = q.w.screen()->availableGeometry();
    SCOPED_TRACE("free area " + std::to_string(free.width()) + " x " + std::to_string(free.height()));
    q.w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.w));
    EXPECT_TRUE(Inside(q.w.frameGeometry(), free));
    EXPECT_GE(q.w.height(), q.w.minimumHeight());
    q.a.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&q.a));
    EXPECT_TRUE(Inside(q.a.frameGeometry(), free));
    q.a.hide();
}
