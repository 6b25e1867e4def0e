// The display list: background priorities, the view transform, the dirty
// rectangle, buttons with their parts, tracking and hit testing.
#include <gtest/gtest.h>

#include <string>

#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "player_test_util.h"
#include "tests/common/movie_builder.h"

namespace {

using namespace moviebuild;

TEST(DisplayListBackground, PrioritiesDecideAndAPageColourSurvivesARewind) {
  MovieBuilder b;
  b.StageColor(Colour(0, 0, 255)).Frame().Frame();
  const Bytes movie = b.Finish();
  TestPlayer p;
  p.Feed(movie);
  // The page parameter (priority 3) comes before the movie's stage colour.
  p.list.SetBackgroundColor(0xFF00FF00, 3);
  ASSERT_EQ(p.Goto(1), kMovieDone);
  EXPECT_EQ(p.list.BackgroundColor(), 0xFF00FF00u);
  ASSERT_EQ(p.Goto(0), kMovieDone);
  EXPECT_EQ(p.list.BackgroundColor(), 0xFF00FF00u);
  EXPECT_EQ(p.list.BackgroundPriority(), 3);

  TestPlayer q;
  q.Feed(movie);
  ASSERT_EQ(q.Goto(1), kMovieDone);
  EXPECT_EQ(q.list.BackgroundColor(), 0xFFFF0000u);  // packed: blue in bits 16-23
  q.Render();
  EXPECT_EQ(q.Pixel(5, 5), 0x0000FFu);
  // The same colour again, or one at a priority not above the current one:
  // nothing changes and nothing becomes dirty.
  q.list.SetBackgroundColor(0xFFFF0000, 2);
  q.list.SetBackgroundColor(0xFF0000FF, 1);
  EXPECT_TRUE(q.list.DirtyRect().IsEmpty());
  EXPECT_EQ(q.list.BackgroundColor(), 0xFFFF0000u);
  // A rewind returns the movie's colour to white at priority 0.
  q.list.Clear();
  EXPECT_EQ(q.list.BackgroundColor(), kDefaultBackground);
  EXPECT_EQ(q.list.BackgroundPriority(), 0);
}

TEST(DisplayListView, ScaleModesAndAnchors) {
  CDisplayList list;
  const Rect32 stage{0, 2000, 0, 1000};
  const WinRect window{0, 0, 100, 100};
  struct Case {
    uint32_t flags;
    Matrix2x3 expect;
  } cases[] = {
      {kScaleShowAll, {0xCCD, 0, 0, 0xCCD, 0, 25}},      // letter-boxed, centred
      {kScaleNoBorder, {0x199A, 0, 0, 0x199A, -50, 0}},  // cropped
      {kScaleExactFit, {0xCCD, 0, 0, 0x199A, 0, 0}},     // stretched
      {kScaleShowAll | kAlignTop, {0xCCD, 0, 0, 0xCCD, 0, 0}},
      {kScaleShowAll | kAlignBottom, {0xCCD, 0, 0, 0xCCD, 0, 50}},
      {kScaleNoBorder | kAlignLeft, {0x199A, 0, 0, 0x199A, 0, 0}},
      {kScaleNoBorder | kAlignRight, {0x199A, 0, 0, 0x199A, -100, 0}},
  };
  for (const Case& c : cases) {
    list.SetViewTransform(stage, window, false, c.flags);
    EXPECT_EQ(list.ViewTransform(), c.expect) << std::hex << c.flags;
  }
  // Anti-aliased: four units a pixel.
  list.SetViewTransform(stage, window, true, kScaleExactFit);
  EXPECT_EQ(list.ViewTransform().a, 0x3333);
  EXPECT_EQ(list.ViewTransform().d, 0x6666);
}

TEST(DisplayListDirty, DirtyRectangleInWindowPixels) {
  CDisplayList list;
  Rect32 r;
  list.GetDirtyRect(r);
  EXPECT_TRUE(r.IsEmpty());
  list.UpdateBitmapBounds();
  list.Render();  // no bitmap: nothing happens, the dirty area stays
  list.GetDirtyRect(r);
  EXPECT_EQ(r, (Rect32{-2, 2002, -2, 2002}));
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, 40, 30, false));
  list.SetBitmap(&bitmap);
  list.SetViewTransform({0, 4000, 0, 3000}, {0, 0, 40, 30}, true, 0);
  EXPECT_EQ(list.DirtyRect(), (Rect32{0, 160, 0, 120}));
  list.GetDirtyRect(r);
  EXPECT_EQ(r, (Rect32{-2, 42, -2, 32}));
  list.Render();
  EXPECT_TRUE(list.DirtyRect().IsEmpty());
  list.GetDirtyRect(r);
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(list.TakeRefreshRect(), (Rect32{0, 39, 0, 29}));
  EXPECT_TRUE(list.TakeRefreshRect().IsEmpty());
}

// The stage is 110 by 80 pixels at 100 twips a pixel; the test button's
// states cover its first 10 by 10 pixels, the down state at depth 2.
void AddButton(MovieBuilder& b, const Bytes& actions) {
  AddStateButton(b, {0, 1000, 0, 1000}, 2, actions);
}

Matrix2x3 At(int32_t x, int32_t y) {
  Matrix2x3 m;
  m.tx = x, m.ty = y;
  return m;
}

bool HasKey(CDisplayList& list, uint16_t id, uint16_t depth) {
  return list.FindItem(StageKey(id, depth)) != nullptr;
}

TEST(DisplayListButtons, StatesPlaceAndRemoveTheirParts) {
  MovieBuilder b;
  AddButton(b, OpenUrlAction("http://example.org/a", "_top"));
  const Matrix2x3 m = At(2000, 1000);
  b.Place(20, 5, &m).Frame().Remove(20, 5).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  DisplayItem* button = p.list.FindItem(StageKey(20, 5));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->button_state, kStateUp);
  EXPECT_TRUE(button->bounds.IsEmpty());
  EXPECT_TRUE(HasKey(p.list, 10, 6));
  EXPECT_FALSE(HasKey(p.list, 11, 6));
  // The part sits where the button was placed.
  EXPECT_EQ(p.list.FindItem(StageKey(10, 6))->matrix, m);

  EXPECT_TRUE(p.list.SetTrackedButton(button, kStateOver));
  EXPECT_STREQ(p.list.StatusUrl(), "http://example.org/a");
  EXPECT_FALSE(HasKey(p.list, 10, 6));
  EXPECT_TRUE(HasKey(p.list, 11, 6));
  EXPECT_FALSE(p.list.SetTrackedButton(button, kStateOver));
  EXPECT_TRUE(p.list.SetTrackedButton(button, kStateDown));
  EXPECT_TRUE(HasKey(p.list, 12, 7));
  EXPECT_FALSE(HasKey(p.list, 11, 6));
  p.Render();
  EXPECT_EQ(p.Pixel(25, 15), 0xC80000u);

  // Removing the button removes the parts its state put on the stage.
  ASSERT_EQ(p.Goto(1), kMovieDone);
  EXPECT_EQ(p.list.ItemCount(), 0);
  EXPECT_EQ(p.list.TrackedButton(), nullptr);
  EXPECT_EQ(p.list.TrackedKey(), StageKey(20, 5));
  p.list.RemoveObject(StageKey(99, 1));  // unknown: nothing

  // Placed again under the same key (a seek), it comes back pressed.
  ASSERT_EQ(p.Goto(0), kMovieDone);
  button = p.list.FindItem(StageKey(20, 5));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->button_state, kStateDown);
  EXPECT_EQ(p.list.TrackedButton(), button);
  EXPECT_TRUE(HasKey(p.list, 12, 7));
}

TEST(DisplayListButtons, HitTestingTakesTheDeepestButtonAndNeverDepthZero) {
  MovieBuilder b;
  AddButton(b, Actions({}));
  // Buttons 21 and 22 are copies of 20; placed overlapping.
  b.Button(21, {{kButtonUp, 10, 1, {}}, {kButtonHitArea, 13, 1, {}}}, Actions({}));
  b.Button(22, {{kButtonUp, 11, 1, {}}, {kButtonHitArea, 13, 1, {}}}, Actions({}));
  const Matrix2x3 a = At(1000, 1000), c = At(1500, 1000), far = At(8000, 5000);
  b.Place(20, 3, &a).Place(21, 7, &c).Place(22, 7, &c).Place(20, 0, &far).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  auto hit = [&](int x, int y) -> uint32_t {
    const DisplayItem* i = p.list.HitTestButton({x, y});
    return i ? i->key : 0;
  };
  EXPECT_EQ(hit(12, 12), StageKey(20, 3));  // only the first
  // Both 21 and 22 at depth 7 cover (17, 12): the newest item wins.
  EXPECT_EQ(hit(17, 12), StageKey(22, 7));
  EXPECT_EQ(hit(5, 5), 0u);
  EXPECT_EQ(hit(85, 55), 0u);  // the button at depth 0
  // Anti-aliased the same points hit the same buttons.
  p.anti_alias = true;
  p.FitView();
  EXPECT_EQ(hit(12, 12), StageKey(20, 3));
  EXPECT_EQ(hit(17, 12), StageKey(22, 7));
}

TEST(DisplayListButtons, ButtonsMadeOfButtonsAreFollowedToABoundedDepth) {
  MovieBuilder b;
  AddButton(b, Actions({}));
  // 30 holds itself one depth further, and itself at its own key; 31 and 32
  // hold each other.
  b.Button(30,
           {{kButtonUp, 10, 1, {}}, {kButtonUp | kButtonOver, 30, 1, {}}, {kButtonUp, 30, 0, {}}},
           Actions({}));
  b.Button(31, {{kButtonUp, 32, 1, {}}}, Actions({}));
  b.Button(32, {{kButtonUp, 31, 1, {}}, {kButtonUp, 11, 0, {}}}, Actions({}));
  b.Place(30, 10).Place(31, 20).Frame().Remove(30, 10).Remove(31, 20).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  EXPECT_GT(p.list.ItemCount(), 2);
  EXPECT_LT(p.list.ItemCount(), 200);
  DisplayItem* top = p.list.FindItem(StageKey(30, 10));
  ASSERT_NE(top, nullptr);
  p.list.SetTrackedButton(top, kStateOver);
  p.list.SetTrackedButton(nullptr, 0);
  p.Render();
  ASSERT_EQ(p.Goto(1), kMovieDone);
  p.Render();
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.list.Clear();
  EXPECT_EQ(p.list.ItemCount(), 0);
}

TEST(DisplayListButtons, StatusUrlIsTruncatedSafelyAndTheLastOneWins) {
  const std::string longUrl(700, 'u');
  Bytes actions = OpenUrlAction("http://first", "");
  actions.pop_back();
  const Bytes second = OpenUrlAction(longUrl, "_blank");
  actions.insert(actions.end(), second.begin(), second.end());
  MovieBuilder b;
  AddButton(b, actions);
  b.Place(20, 5).Frame();
  TestPlayer p;
  p.Feed(b.Finish());
  ASSERT_EQ(p.Goto(0), kMovieDone);
  p.list.SetTrackedButton(p.list.FindItem(StageKey(20, 5)), kStateOver);
  EXPECT_EQ(std::string(p.list.StatusUrl()), longUrl.substr(0, CDisplayList::kStatusUrlSize - 1));
  p.list.SetTrackedButton(nullptr, 0);
  EXPECT_STREQ(p.list.StatusUrl(), "");
  EXPECT_EQ(p.list.TrackedKey(), 0u);
}

}  // namespace
