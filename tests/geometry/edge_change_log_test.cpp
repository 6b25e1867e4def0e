// The change log: random edits, undone and redone by replaying the logs, give
// back the edge multiset of every step.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "geometry/edge_change_log.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "graph_invariants.h"

namespace {

using namespace graph_test;

// The undo and redo stacks of one shape: the change callback attaches a new
// log to whichever stack the current operation records into.
struct History {
  std::vector<std::unique_ptr<EdgeChangeLog>> undo, redo;
  std::vector<std::unique_ptr<EdgeChangeLog>>* target = &undo;
  uint16_t direction = 0;
};

void OnChange(EdgeGraph& graph, void* arg) {
  auto* history = static_cast<History*>(arg);
  auto log = std::make_unique<EdgeChangeLog>();
  EdgeChangeLogAttach(*log, graph);
  log->direction = history->direction;
  history->target->push_back(std::move(log));
}

class ChangeLogTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    graph_.change_callback = OnChange;
    graph_.change_arg = &history_;
  }
  void TearDown() override {
    history_.undo.clear();
    history_.redo.clear();
    GraphTest::TearDown();
  }

  QuadCurve RandomCurve() {
    // A coarse lattice, so that edges often coincide, cross at ends and overlap.
    std::uniform_int_distribution<int> coord(0, 8), kind(0, 3);
    auto p = [&] { return coord(rng_) * 100; };
    if (kind(rng_) == 0) return Quad(p(), p(), p() + 30, p() + 10, p(), p());
    return Line(p(), p(), p(), p());
  }

  // One random edit in one change; false when it changed nothing.
  bool RandomEdit() {
    std::uniform_int_distribution<int> action(0, 5), style(0, 4), prec(0, 3);
    const size_t logs = history_.undo.size();
    history_.target = &history_.undo;
    history_.direction = 0;
    const int a = action(rng_);
    std::vector<Edge*> edges;
    EdgeGraphForEachEdge(graph_, nullptr, [&](Edge* e) { edges.push_back(e); });
    if (a == 4 && !edges.empty()) {
      Edge* e = edges[std::uniform_int_distribution<size_t>(0, edges.size() - 1)(rng_)];
      EXPECT_EQ(EdgeGraphTouchEdge(graph_, e), 0);
      e->a.fill = static_cast<StyleIndex>(style(rng_));
      e->line = static_cast<StyleIndex>(style(rng_));
    } else if (a == 5 && !edges.empty()) {
      EXPECT_EQ(
          EdgeGraphDeleteEdge(
              graph_, edges[std::uniform_int_distribution<size_t>(0, edges.size() - 1)(rng_)]),
          0);
    } else {
      const int n = 1 + a % 3;
      for (int i = 0; i < n; ++i)
        EXPECT_EQ(Insert(graph_, RandomCurve(), static_cast<StyleIndex>(style(rng_)),
                         static_cast<StyleIndex>(style(rng_)), static_cast<StyleIndex>(style(rng_)),
                         0, prec(rng_)),
                  0);
    }
    if (a % 2 == 0) {
      EXPECT_EQ(EdgeGraphCleanup(graph_), 0);
    }
    Rect32 out;
    EdgeGraphEndChange(graph_, out);
    if (history_.undo.size() == logs) return false;
    EXPECT_EQ(history_.undo.size(), logs + 1);
    history_.redo.clear();
    return true;
  }

  void Undo() {
    std::unique_ptr<EdgeChangeLog> log = std::move(history_.undo.back());
    history_.undo.pop_back();
    history_.target = &history_.redo;
    history_.direction = 1;
    ASSERT_EQ(EdgeChangeLogReplay(*log), 0);
    Rect32 out;
    EdgeGraphEndChange(graph_, out);
  }

  void Redo() {
    std::unique_ptr<EdgeChangeLog> log = std::move(history_.redo.back());
    history_.redo.pop_back();
    history_.target = &history_.undo;
    history_.direction = 0;
    ASSERT_EQ(EdgeChangeLogReplay(*log), 0);
    Rect32 out;
    EdgeGraphEndChange(graph_, out);
  }

  // Edits, then undo all, redo all, undo all again, comparing every state.
  void RoundTrip(int edits) {
    std::vector<std::vector<EdgeRecord>> states = {Edges(graph_)};
    for (int i = 0; i < edits; ++i) {
      if (RandomEdit()) states.push_back(Edges(graph_));
      ASSERT_TRUE(GraphIsValid(graph_));
    }
    ASSERT_EQ(history_.undo.size(), states.size() - 1);
    for (int round = 0; round < 2; ++round) {
      for (size_t i = states.size() - 1; i > 0; --i) {
        Undo();
        ASSERT_EQ(Edges(graph_), states[i - 1])
            << "undo to step " << i - 1 << " of round " << round;
        ASSERT_TRUE(GraphIsValid(graph_, {false, false}));
      }
      ASSERT_EQ(history_.redo.size(), states.size() - 1);
      for (size_t i = 1; i < states.size(); ++i) {
        Redo();
        ASSERT_EQ(Edges(graph_), states[i]) << "redo to step " << i << " of round " << round;
      }
    }
  }

  History history_;
  std::mt19937 rng_{12345};
};

TEST_F(ChangeLogTest, UndoAndRedoRestoreEveryStep) {
  RoundTrip(60);
}

// Generations compare as unsigned 16-bit values: crossing 0x8000 and the wrap
// to 1 must not confuse the stamps.
TEST_F(ChangeLogTest, GenerationsCrossingTheSignBit) {
  graph_.generation = 0x7FF0;
  rng_.seed(777);
  RoundTrip(40);
  EXPECT_GT(graph_.generation, 0x8000);
}

TEST_F(ChangeLogTest, GenerationsWrapping) {
  graph_.generation = 0xFFF0;
  rng_.seed(999);
  RoundTrip(40);
  EXPECT_LT(graph_.generation, 0x100);
}

TEST_F(ChangeLogTest, EdgesMadeAndUnmadeInOneChangeAreNotSaved) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 0)), 0);
  Rect32 out;
  EdgeGraphEndChange(graph_, out);
  ASSERT_EQ(history_.undo.size(), 1u);
  // One change: a crossing edge splits the first, a third edge splits the
  // pieces again. Only the original edge is saved, once.
  ASSERT_EQ(Insert(graph_, Line(50, -50, 50, 50)), 0);
  ASSERT_EQ(Insert(graph_, Line(25, -50, 25, 50)), 0);
  EdgeGraphEndChange(graph_, out);
  ASSERT_EQ(history_.undo.size(), 2u);
  const EdgeChangeLog& log = *history_.undo.back();
  ASSERT_NE(log.first, nullptr);
  EXPECT_EQ(log.first->count, 1);
  EXPECT_EQ(log.first->next, nullptr);
  EXPECT_EQ(log.first->edges[0].curve, Line(0, 0, 100, 0));
}

TEST_F(ChangeLogTest, FreeingAnAttachedLogDetachesIt) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 0)), 0);
  ASSERT_EQ(graph_.change_log, history_.undo.back().get());
  history_.undo.clear();
  EXPECT_EQ(graph_.change_log, nullptr);
  ASSERT_EQ(Insert(graph_, Line(0, 50, 100, 50)), 0);  // no log to save into: fine
  Rect32 out;
  EdgeGraphEndChange(graph_, out);
}

}  // namespace
