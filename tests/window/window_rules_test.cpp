// The window's geometry rules, the drag button rule and the address template,
// called directly.
#include <gtest/gtest.h>

#include "client/VantrelUnit.h"
#include "client/mask_edit.h"
#include "client/window_layout.h"

namespace {

using vantrel::Anchor;
using vantrel::Anchors;

struct AnchorCase {
  Anchors anchors;
  QRect expected;  // for a 100x50 control at 10,20 in a 460x360 parent grown to 500x400
};

TEST(AnchoredRect, FollowsTheAnchoredEdges) {
  const QRect design(10, 20, 100, 50);
  const AnchorCase cases[] = {
      {vantrel::kLeftTop, {10, 20, 100, 50}},
      {Anchors(Anchor::Top) | Anchor::Right, {50, 20, 100, 50}},
      {Anchors(Anchor::Left) | Anchor::Bottom, {10, 60, 100, 50}},
      {Anchors(Anchor::Right) | Anchor::Bottom, {50, 60, 100, 50}},
      {vantrel::kLeftTop | Anchor::Right, {10, 20, 140, 50}},
      {vantrel::kLeftTop | Anchor::Bottom, {10, 20, 100, 90}},
      {vantrel::kLeftTop | Anchor::Right | Anchor::Bottom, {10, 20, 140, 90}},
  };
  for (const AnchorCase& c : cases) {
    EXPECT_EQ(vantrel::AnchoredRect(design, c.anchors, {460, 360}, {500, 400}), c.expected)
        << "anchors " << c.anchors.toInt();
  }
  // A parent at its design size leaves every control where it was designed.
  EXPECT_EQ(vantrel::AnchoredRect(design, vantrel::kLeftTop | Anchor::Right | Anchor::Bottom, {460, 360}, {460, 360}),
            design);
}

TEST(RoundRectRegion, CutsTheCornersOnly) {
  const QRegion region = vantrel::RoundRectRegion({460, 360}, 64);
  EXPECT_EQ(region.boundingRect(), QRect(0, 0, 460, 360));
  for (const QPoint corner : {QPoint(0, 0), QPoint(459, 0), QPoint(0, 359), QPoint(459, 359), QPoint(8, 8),
                              QPoint(451, 351), QPoint(25, 0), QPoint(0, 25)}) {
    EXPECT_FALSE(region.contains(corner)) << corner.x() << "," << corner.y();
  }
  for (const QPoint inside : {QPoint(32, 0), QPoint(427, 0), QPoint(0, 32), QPoint(459, 180), QPoint(230, 359),
                              QPoint(10, 10), QPoint(449, 349), QPoint(230, 180)}) {
    EXPECT_TRUE(region.contains(inside)) << inside.x() << "," << inside.y();
  }
  // The four corners are mirror images of each other.
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const bool in = region.contains(QPoint(x, y));
      ASSERT_EQ(region.contains(QPoint(459 - x, y)), in);
      ASSERT_EQ(region.contains(QPoint(x, 359 - y)), in);
      ASSERT_EQ(region.contains(QPoint(459 - x, 359 - y)), in);
    }
  }
}

TEST(RoundRectRegion, DegenerateSizes) {
  EXPECT_TRUE(vantrel::RoundRectRegion({0, 100}, 32).isEmpty());
  EXPECT_EQ(vantrel::RoundRectRegion({100, 40}, 0), QRegion(0, 0, 100, 40));
  // A diameter larger than the control rounds it into a stadium, not beyond.
  const QRegion stadium = vantrel::RoundRectRegion({100, 40}, 500);
  EXPECT_TRUE(stadium.contains(QPoint(50, 0)));
  EXPECT_TRUE(stadium.contains(QPoint(0, 20)));
  EXPECT_FALSE(stadium.contains(QPoint(2, 2)));
}

struct BoundCase {
  QSize requested;
  bool connected;
  QSize expected;
};

TEST(BoundWindowSize, DesignSizeUnlessConnectedThenScreenBounds) {
  const QSize screen(1920, 1080);
  const BoundCase cases[] = {
      {{300, 5000}, true, {460, 1080}},   {{2500, 200}, true, {1920, 360}},   {{800, 600}, true, {800, 600}},
      {{460, 360}, true, {460, 360}},     {{1920, 1080}, true, {1920, 1080}}, {{-5, -5}, true, {460, 360}},
      {{1921, 1081}, true, {1920, 1080}}, {{800, 600}, false, {460, 360}},    {{100, 100}, false, {460, 360}},
  };
  for (const BoundCase& c : cases) {
    EXPECT_EQ(vantrel::BoundWindowSize(c.requested, screen, c.connected), c.expected)
        << c.requested.width() << "x" << c.requested.height() << " connected " << c.connected;
  }
  // The lower bound wins on a screen smaller than the design size.
  EXPECT_EQ(vantrel::BoundWindowSize({100, 100}, {400, 300}, true), QSize(460, 360));
}

TEST(InResizeCorner, TwentyColumnsNineteenRows) {
  const QSize bg_rb(220, 150);
  EXPECT_TRUE(vantrel::InResizeCorner(bg_rb, 200, 131));
  EXPECT_TRUE(vantrel::InResizeCorner(bg_rb, 219, 149));
  EXPECT_FALSE(vantrel::InResizeCorner(bg_rb, 199, 131));
  EXPECT_FALSE(vantrel::InResizeCorner(bg_rb, 200, 130));
  EXPECT_FALSE(vantrel::InResizeCorner(bg_rb, 10, 10));
}

TEST(ShiftState, OnlyTheLeftButtonAloneCounts) {
  struct Case {
    TShiftState shift;
    bool counts;
  };
  const Case cases[] = {
      {{Qt::LeftButton, Qt::NoModifier, false}, true},
      {{Qt::LeftButton, Qt::KeypadModifier, false}, true},
      {{Qt::LeftButton, Qt::ShiftModifier, false}, false},
      {{Qt::LeftButton, Qt::ControlModifier, false}, false},
      {{Qt::LeftButton, Qt::AltModifier, false}, false},
      {{Qt::LeftButton | Qt::RightButton, Qt::NoModifier, false}, false},
      {{Qt::RightButton, Qt::NoModifier, false}, false},
      {{Qt::NoButton, Qt::NoModifier, false}, false},
      {{Qt::LeftButton, Qt::NoModifier, true}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.shift.IsLeftButtonOnly(), c.counts);
}

TEST(EditMask, ParsesTheAddressTemplate) {
  const vantrel::EditMask mask = vantrel::ParseEditMask("!099.099.099.099;1; ");
  EXPECT_EQ(mask.Length(), 15);
  EXPECT_TRUE(mask.leading_blanks);
  EXPECT_EQ(mask.blank, QChar(u' '));
  for (int i = 0; i < 15; ++i) EXPECT_EQ(mask.IsDigitPlace(i), i % 4 != 3) << i;
  EXPECT_EQ(mask.literals[3], QChar(u'.'));
  // Other blank characters and escaped literals.
  const vantrel::EditMask other = vantrel::ParseEditMask("00\\9-0;1;_");
  EXPECT_EQ(other.blank, QChar(u'_'));
  EXPECT_FALSE(other.leading_blanks);
  EXPECT_EQ(other.Length(), 5);
  EXPECT_EQ(other.literals[2], QChar(u'9'));
}

TEST(EditMask, FormatsTextByTheTemplate) {
  const vantrel::EditMask mask = vantrel::ParseEditMask("!099.099.099.099;1; ");
  const std::pair<const char*, const char*> cases[] = {
      {"", "   .   .   .   "},
      {"192.168.1.50", "192.168.  1. 50"},
      {"10.0.0.5", " 10.  0.  0.  5"},
      {"2", "  2.   .   .   "},
      {" 192 . 168 .1.50 ", "192.168.  1. 50"},
      {"192.168.  1. 50", "192.168.  1. 50"},
      {"1234.5", "123.  5.   .   "},
      {"1.2.3.4.5", "  1.  2.  3. 45"},
      {"abc", "   .   .   .   "},
      {"camera.local", "   .   .   .   "},
      {"1\xd9\xa3.2", "  1.  2.   .   "},  // a non-ASCII digit is no digit here
  };
  for (const auto& [value, expected] : cases) {
    const QString formatted = vantrel::FormatMaskText(mask, QString::fromUtf8(value));
    EXPECT_EQ(formatted.toStdString(), expected) << value;
    EXPECT_TRUE(vantrel::FitsMask(mask, formatted)) << value;
  }
  const vantrel::EditMask trailing = vantrel::ParseEditMask("099.099;1;_");
  EXPECT_EQ(vantrel::FormatMaskText(trailing, "1.22").toStdString(), "1__.22_");
}

TEST(EditMask, FitsOnlyTemplateShapedText) {
  const vantrel::EditMask mask = vantrel::ParseEditMask("!099.099.099.099;1; ");
  EXPECT_TRUE(vantrel::FitsMask(mask, "192.168.  1. 50"));
  EXPECT_TRUE(vantrel::FitsMask(mask, "   .   .   .   "));
  EXPECT_FALSE(vantrel::FitsMask(mask, "192.168.1.50"));
  EXPECT_FALSE(vantrel::FitsMask(mask, "192,168.  1. 50"));
  EXPECT_FALSE(vantrel::FitsMask(mask, "19a.168.  1. 50"));
}

}  // namespace
