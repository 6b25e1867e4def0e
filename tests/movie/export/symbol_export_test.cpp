// Symbol instances and buttons in exported movies: parts and their state
// masks, depth spans, looping symbols, and a symbol that contains itself.
#include "export_fixtures.h"
#include "model/frame_action.h"
#include "model/pic_symbol.h"
#include "movie/export/movie_exporter.h"

namespace {

struct Part {
  int mask, id, depth;
  bool operator==(const Part&) const = default;
};

struct Button {
  int id = 0;
  std::vector<Part> parts;
  std::vector<uint8_t> actions;
};

Button ReadButton(std::span<const uint8_t> body) {
  moviedec::Reader in(body);
  Button b;
  b.id = in.U16();
  for (;;) {
    int mask = in.U8();
    if (mask == 0) break;
    int id = in.U16();
    int depth = in.U16();
    moviedec::ReadMatrix(in);
    b.parts.push_back({mask, id, depth});
  }
  auto rest = in.Bytes(in.Remaining());
  b.actions.assign(rest.begin(), rest.end());
  return b;
}

class SymbolExportTest : public ExportTest {
 protected:
  // Exports the target document; its symbols are held as long as it takes.
  std::vector<uint8_t> Export(const std::string& name) {
    std::vector<int32_t> locks;
    for (CDocumentPage* p = target_->m_symbols; p != nullptr; p = p->m_next)
      locks.push_back(p->GetLockCount());
    CMovieExporter exporter;
    exporter.SetTarget(OutputPath(name), target_, CExporter::kOptionMovie);
    EXPECT_EQ(exporter.ExportSequence(), 1);
    size_t i = 0;
    for (CDocumentPage* p = target_->m_symbols; p != nullptr; p = p->m_next)
      EXPECT_EQ(p->GetLockCount(), locks[i++]) << p->m_name;
    return ReadFile(OutputPath(name));
  }
  static std::vector<Button> Buttons(const moviedec::Movie& m) {
    std::vector<Button> out;
    for (const auto& r : m.records)
      if (r.code == 7) out.push_back(ReadButton(r.body));
    return out;
  }
  // Key frames of a symbol: per layer (the symbol's first layer, then new
  // layers, each added below the ones before) the key frames as their
  // length and the x of a square in each.
  struct Key {
    int32_t length;
    std::vector<int> xs;
  };
  void FillStates(CDocumentPage* symbol, const std::vector<std::vector<Key>>& layers) {
    Edit(symbol, [&] {
      for (size_t i = 0; i < layers.size(); ++i) {
        CPicLayer* layer = i == 0 ? Layer(symbol) : symbol->GetRoot()->AddLayer();
        int32_t start = 0;
        for (const Key& key : layers[i]) {
          if (start > 0) {
            ASSERT_EQ(layer->SplitFrameAt(start, false), 1);
          }
          for (int x : key.xs) layer->FrameAt(start)->AddChild(MakeSquare(x, 0, 100, 0xFF0000FF));
          start += key.length;
        }
      }
    });
  }
};

TEST_F(SymbolExportTest, AOneFrameButtonShowsItsPartsInEveryState) {
  CDocumentPage* symbol = AddSymbol("Knob", 1);
  FillStates(symbol, {{{1, {0, 200}}}});
  CDocumentPage* page = AddPage("Page 1", 2);
  auto* button = new CPicButton;
  Edit(page, [&] {
    CPicFrame* key = Layer(page)->FrameAt(0);
    key->AddChild(button);
    button->AttachToSymbol(symbol);
    CFrameAction play;
    play.type = CFrameAction::kPlay;
    button->SetAction(play);
    key->AddChild(MakeSquare(500, 500, 100, 0xFF00FF00));  // above the button
  });
  std::vector<uint8_t> bytes = Export("button_one_frame.vmp");
  moviedec::Movie movie = moviedec::ReadMovie(bytes);
  std::vector<std::string> want = {"color",   "shape 1",   "shape 2", "button 3", "place 3@1",
                                   "shape 4", "place 4@4", "break",   "break",    "end"};
  EXPECT_EQ(RecordSummary(movie), want);
  auto buttons = Buttons(movie);
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_EQ(buttons[0].parts, (std::vector<Part>{{0x0F, 1, 1}, {0x0F, 2, 2}}));
  EXPECT_EQ(buttons[0].actions, (std::vector<uint8_t>{6, 0}));
  // The player puts the parts on the stage above the button's own depth.
  EXPECT_EQ(StageByFrame(bytes)[0], (std::vector<std::string>{"4@4", "2@3", "1@2", "3@1"}));
}

TEST_F(SymbolExportTest, StateMasksFollowWhatEachFrameShows) {
  struct Case {
    int32_t frames;
    std::vector<std::vector<Key>> layers;
    std::vector<Part> parts;
  } cases[] = {
      // Up only, Over and Down, Hit only.
      {4, {{{1, {0}}, {2, {200}}, {1, {400}}}}, {{0x01, 1, 1}, {0x06, 2, 1}, {0x08, 3, 1}}},
      // Two frames: what the last one shows stays for the states after it.
      {2, {{{1, {}}, {1, {200}}}, {{2, {0}}}}, {{0x0F, 1, 1}, {0x0E, 2, 2}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    CExportTestDoc own;
    target_ = &own;
    CDocumentPage* symbol = AddSymbol("Knob", c.frames);
    FillStates(symbol, c.layers);
    CDocumentPage* page = AddPage("Page 1", 1);
    Edit(page, [&] {
      auto* button = new CPicButton;
      Layer(page)->FrameAt(0)->AddChild(button);
      button->AttachToSymbol(symbol);
    });
    std::vector<uint8_t> bytes = Export("button_states_" + std::to_string(n++) + ".vmp");
    moviedec::Movie movie = moviedec::ReadMovie(bytes);
    auto buttons = Buttons(movie);
    target_ = &doc_;
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].parts, c.parts);
  }
}

TEST_F(SymbolExportTest, ALoopingSymbolShowsItsFramesInTurn) {
  CDocumentPage* symbol = AddSymbol("Blink", 2);
  FillStates(symbol, {{{1, {0}}, {1, {300}}}});
  CDocumentPage* page = AddPage("Page 1", 4);
  Edit(page, [&] {
    auto* inst = new CPicSymbol;
    Layer(page)->FrameAt(0)->AddChild(inst);
    inst->AttachToSymbol(symbol);
    Matrix2x3 m;
    MatrixSetTranslation(m, 1000, 0);
    inst->Transform(m);
  });
  std::vector<uint8_t> bytes = Export("looping_symbol.vmp");
  std::vector<std::string> want = {"color",   "shape 1",    "place 1@1", "break",      "remove 1@1",
                                   "shape 2", "place 2@1",  "break",     "remove 2@1", "place 1@1",
                                   "break",   "remove 1@1", "place 2@1", "break",      "end"};
  EXPECT_EQ(RecordSummary(moviedec::ReadMovie(bytes)), want);
  auto stage = StageByFrame(bytes);
  EXPECT_EQ(stage[2], std::vector<std::string>{"1@1"});
  EXPECT_EQ(stage[3], std::vector<std::string>{"2@1"});
}

TEST_F(SymbolExportTest, ASymbolInsideItselfAddsNothingThere) {
  CDocumentPage* symbol = AddSymbol("Loop", 1);
  FillStates(symbol, {{{1, {0}}}});
  Edit(symbol, [&] {
    auto* self = new CPicSymbol;
    Layer(symbol)->FrameAt(0)->AddChild(self);
    self->AttachToSymbol(symbol);
  });
  CDocumentPage* page = AddPage("Page 1", 1);
  Edit(page, [&] {
    auto* inst = new CPicSymbol;
    Layer(page)->FrameAt(0)->AddChild(inst);
    inst->AttachToSymbol(symbol);
  });
  std::vector<std::string> want = {"color", "shape 1", "place 1@1", "break", "end"};
  std::vector<uint8_t> bytes = Export("self_symbol.vmp");
  EXPECT_EQ(RecordSummary(moviedec::ReadMovie(bytes)), want);
}

}  // namespace
