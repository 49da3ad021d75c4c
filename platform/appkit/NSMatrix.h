#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "appkit/ActionSender.h"
#include "appkit/NSView.h"
#include "appkit/UserDefaultsBinding.h"

// One radio button of a matrix.
struct NSMatrixCell {
    std::string title;
    int64_t tag = 0;
    bool enabled = true;
    friend bool operator==(const NSMatrixCell&, const NSMatrixCell&) = default;
};

// A column of radio buttons of which at most one is selected: the first cell added is selected
// until another is, and none is when a bound user default names no row. A click selects its
// cell, writes the bound user default ("selectedIndex", the row) and then sends the action, with
// the matrix as sender.
class NSMatrix : public NSView, public ActionSender, public UserDefaultsBindable {
public:
    NSMatrix();
    static Class ClassObject();

    void addCell(NSMatrixCell cell);
    const std::vector<NSMatrixCell>& cells() const { return m_cells; }
    // False for a row that does not exist.
    bool setCellEnabled(size_t row, bool enabled);

    // -1 when no cell is selected (or there are none).
    int64_t selectedRow() const;
    int64_t selectedTag() const;
    // Programmatic: no action and no binding written. False, changing nothing, when no cell has
    // that tag or row.
    bool selectCellWithTag(int64_t tag);
    bool selectCellAtRow(size_t row);

    // The user clicks a cell. Refused (false) for a disabled matrix or cell or a row that does
    // not exist; otherwise the click is taken, whether or not the action reaches a target.
    bool clickCellAtRow(size_t row);

    // "selectedIndex" only: the stored row, or row 0 when none is stored. A stored value that is
    // no row (a hand-edited settings file) selects nothing and stays stored until a click: the
    // matrix must not show a choice that those who read the value do not make.
    bool bindToUserDefaults(const std::string& binding, const std::string& key) override;

    NSObject* senderObject() override { return this; }
    void clickWillSendAction() override;

    nlohmann::json DescribeState() const override;

private:
    void ActionStateChanged() override { Changed(); }
    std::vector<NSMatrixCell> m_cells;
    std::optional<size_t> m_selectedRow = 0; // meaningful only with cells
    std::optional<size_t> m_clickedRow;
    std::optional<UserDefaultsBinding> m_selectedIndexBinding;
};
