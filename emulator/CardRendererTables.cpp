// The card renderer's tables: a row's cells side by side where the phone draws
// tables, one under the other where it does not.
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "emulator/CardRendererInternal.h"

namespace deckhand::wml::render_detail {

// WML 1.1 §11.8.5: a row's cells side by side in columns of equal width;
// cells beyond the table's columns are joined into the last one. Each cell
// is laid out as a small card of its own (breaks, images, links).
void TBuilder::Table(const TNode& table, const TStyle& style) {
  Flush();
  int columns = std::clamp(std::atoi(table.AttributeOr("columns", "1").c_str()), 1, 255);
  for (const TNode& row : table.Children) {
    if (state_.Stopped()) return;
    if (!row.IsElement("tr")) continue;
    if (!Count()) return;
    if (!tables_) {
      // A phone without tables shows the cells one under the other.
      for (const TNode& cell : row.Children) {
        if (!cell.IsElement("td")) continue;
        Walk(cell, style);
        Break(true);
      }
      Flush();
      continue;
    }
    const int cellWidth = std::max(1, width_ / columns);
    std::vector<std::vector<TLine>> cells;
    TBuilder* last = nullptr;
    // A cell's builder on the heap: the compiler cannot follow an optional
    // one across this loop and warns of members used uninitialized.
    std::unique_ptr<TBuilder> builder;
    int column = 0;
    auto finish = [&] {
      if (!builder) return;
      builder->Flush();
      cells.push_back(std::move(builder->Lines));
      builder.reset();
    };
    for (const TNode& cell : row.Children) {
      if (!cell.IsElement("td")) continue;
      if (state_.Stopped()) break;
      if (column < columns) {
        finish();
        builder = std::make_unique<TBuilder>(agent_, std::max(1, cellWidth - 1), tables_, state_);
        builder->wrap_ = wrap_;
        builder->depth_ = depth_;
        ++column;
      } else {
        builder->Space(style);  // a cell joined to the last column
      }
      last = &*builder;
      if (last->Count()) last->Walk(cell, style);
    }
    finish();
    // Line k of the row holds line k of every cell.
    std::size_t height = 0;
    for (const auto& lines : cells) height = std::max(height, lines.size());
    if (height == 0) {
      AddLine(TLine());
      continue;
    }
    for (std::size_t k = 0; k < height; ++k) {
      TLine line;
      for (std::size_t c = 0; c < cells.size(); ++c) {
        if (k >= cells[c].size()) continue;
        TLine& part = cells[c][k];
        const int x = static_cast<int>(c) * cellWidth;
        line.Ascent = std::max(line.Ascent, part.Ascent);
        line.Descent = std::max(line.Descent, part.Descent);
        for (TPlaced& placed : part.Items)
          line.Items.push_back({std::move(placed.Atom), x + placed.X, x + cellWidth - 2});
      }
      if (line.Items.empty()) {
        line.Ascent = kNormalFont.Ascent;
        line.Descent = kNormalFont.Descent;
      }
      AddLine(std::move(line));
    }
  }
}

}  // namespace deckhand::wml::render_detail
