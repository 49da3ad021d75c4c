#include "appkit/NSMatrix.h"

#include <utility>

#include "appkit/NSApplication.h"
#include "foundation/objects/RuntimeClass.h"

[[maybe_unused]] static const Class kRegistered = NSMatrix::ClassObject();

NSMatrix::NSMatrix() : NSView(ClassObject()) {
}

Class NSMatrix::ClassObject() {
    static Class cls = RegisterRuntimeClass<NSMatrix>("NSMatrix", NSView::ClassObject());
    return cls;
}

void NSMatrix::addCell(NSMatrixCell cell) {
    m_cells.push_back(std::move(cell));
    Changed();
}

bool NSMatrix::setCellEnabled(size_t row, bool enabled) {
    if (row >= m_cells.size()) {
        return false;
    }
    if (m_cells[row].enabled != enabled) {
        m_cells[row].enabled = enabled;
        Changed();
    }
    return true;
}

int64_t NSMatrix::selectedRow() const {
    return m_cells.empty() || !m_selectedRow ? -1 : static_cast<int64_t>(*m_selectedRow);
}

int64_t NSMatrix::selectedTag() const {
    return m_cells.empty() || !m_selectedRow ? -1 : m_cells[*m_selectedRow].tag;
}

bool NSMatrix::selectCellWithTag(int64_t tag) {
    for (size_t row = 0; row < m_cells.size(); ++row) {
        if (m_cells[row].tag == tag) {
            return selectCellAtRow(row);
        }
    }
    return false;
}

bool NSMatrix::selectCellAtRow(size_t row) {
    if (row >= m_cells.size()) {
        return false;
    }
    if (row != m_selectedRow) {
        m_selectedRow = row;
        Changed();
    }
    return true;
}

bool NSMatrix::clickCellAtRow(size_t row) {
    if (!isEnabled() || row >= m_cells.size() || !m_cells[row].enabled) {
        return false;
    }
    // The application makes the click the current event and asks clickWillSendAction to
    // select this row before the action goes out.
    Ref<NSMatrix> keepAlive(this); // the action may drop the last other reference
    m_clickedRow = row;
    NSApp().performClick(*this);
    m_clickedRow.reset();
    return true;
}

void NSMatrix::clickWillSendAction() {
    std::optional<size_t> row = std::exchange(m_clickedRow, std::nullopt);
    if (!row) {
        return; // a click with no cell under it (performClick on the matrix itself)
    }
    selectCellAtRow(*row);
    if (m_selectedIndexBinding) {
        m_selectedIndexBinding->store(static_cast<int64_t>(*row));
    }
}

bool NSMatrix::bindToUserDefaults(const std::string& binding, const std::string& key) {
    if (binding != "selectedIndex") {
        return false;
    }
    m_selectedIndexBinding.emplace(binding, key);
    if (std::optional<int64_t> stored = m_selectedIndexBinding->restoredValue(0)) {
        const bool isRow = *stored >= 0 && static_cast<uint64_t>(*stored) < m_cells.size();
        m_selectedRow = isRow ? std::optional(static_cast<size_t>(*stored)) : std::nullopt;
    }
    Changed();
    return true;
}

nlohmann::json NSMatrix::DescribeState() const {
    nlohmann::json description = DescribeView();
    nlohmann::json cells = nlohmann::json::array();
    for (const NSMatrixCell& cell : m_cells) {
        cells.push_back({{"title", cell.title}, {"tag", cell.tag}, {"enabled", cell.enabled}});
    }
    description["cells"] = cells;
    description["selectedRow"] = selectedRow();
    description["selectedTag"] = selectedTag();
    description["bindings"] = DescribeBinding(m_selectedIndexBinding);
    DescribeAction(description);
    return description;
}
