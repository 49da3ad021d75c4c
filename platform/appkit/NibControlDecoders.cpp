#include "appkit/NibControlDecoders.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "appkit/NSButton.h"
#include "appkit/NSColor.h"
#include "appkit/NSComboBox.h"
#include "appkit/NSMatrix.h"
#include "appkit/NSSplitView.h"
#include "appkit/NSTextField.h"
#include "appkit/NSView.h"
#include "appkit/NSWindow.h"
#include "appkit/NibBindings.h"
#include "appkit/NibDecoderTable.h"
#include "appkit/NibProperties.h"
#include "runtime/Selector.h"

namespace {

using nlohmann::json;

std::string DecodeView(NSObject& object, const json& properties, const NibResolver& resolve) {
    auto* view = dynamic_cast<NSView*>(&object);
    if (view == nullptr) {
        return "not a view object";
    }
    return ReadNibReferences<NSView>(
        properties, "subviews", resolve, "a view", [view](NSView& subview) {
            return view->addSubview(Ref<NSView>(&subview))
                       ? std::string()
                       : std::string("a view is in two superviews, or inside itself");
        });
}

std::string DecodeButton(NSObject& object, const json& properties, const NibResolver&) {
    auto* button = dynamic_cast<NSButton*>(&object);
    if (button == nullptr) {
        return "not a button object";
    }
    std::string title = button->title();
    std::string toolTip = button->toolTip();
    bool enabled = button->isEnabled();
    std::string action;
    std::string typeName;
    int64_t state = button->state();
    if (std::string reason = FirstNibReason(
            {ReadNibProperty(properties, "title", json::value_t::string, title),
             ReadNibProperty(properties, "toolTip", json::value_t::string, toolTip),
             ReadNibProperty(properties, "enabled", json::value_t::boolean, enabled),
             ReadNibProperty(properties, "action", json::value_t::string, action),
             ReadNibProperty(properties, "buttonType", json::value_t::string, typeName),
             ReadNibProperty(properties, "state", json::value_t::number_integer, state)});
        !reason.empty()) {
        return reason;
    }
    std::optional<NSButtonType> type = button->buttonType();
    if (!typeName.empty()) {
        type = NSButtonTypeFromName(typeName);
        if (!type) {
            return R"(property 'buttonType' is not "push", "switch" or "radio")";
        }
    }
    if (state != NSOffState && state != NSOnState) {
        return "property 'state' is not 0 (off) or 1 (on)";
    }
    button->setTitle(title);
    button->setToolTip(toolTip);
    button->setEnabled(enabled);
    button->setButtonType(*type);
    button->setState(state);
    if (!action.empty()) {
        button->setAction(sel_registerName(action));
    }
    return ReadNibBindings(*button, properties);
}

std::string DecodeTextField(NSObject& object, const json& properties, const NibResolver&) {
    auto* field = dynamic_cast<NSTextField*>(&object);
    if (field == nullptr) {
        return "not a text field object";
    }
    std::string value = field->stringValue();
    std::string toolTip = field->toolTip();
    bool editable = field->isEditable();
    bool selectable = field->isSelectable();
    bool enabled = field->isEnabled();
    bool allowsAttributes = field->allowsEditingTextAttributes();
    if (std::string reason = FirstNibReason(
            {ReadNibProperty(properties, "stringValue", json::value_t::string, value),
             ReadNibProperty(properties, "toolTip", json::value_t::string, toolTip),
             ReadNibProperty(properties, "editable", json::value_t::boolean, editable),
             ReadNibProperty(properties, "selectable", json::value_t::boolean, selectable),
             ReadNibProperty(properties, "enabled", json::value_t::boolean, enabled),
             ReadNibProperty(properties, "allowsEditingTextAttributes", json::value_t::boolean,
                             allowsAttributes)});
        !reason.empty()) {
        return reason;
    }
    if (auto color = properties.find("textColor"); color != properties.end()) {
        if (!color->is_array() || color->size() != 4 ||
            !std::all_of(color->begin(), color->end(),
                         [](const json& component) { return component.is_number(); })) {
            return "property 'textColor' is not [red, green, blue, alpha]";
        }
        field->setTextColor(
            NSColor::colorWithCalibratedRed((*color)[0].get<float>(), (*color)[1].get<float>(),
                                            (*color)[2].get<float>(), (*color)[3].get<float>()));
    }
    field->setStringValue(value);
    field->setToolTip(toolTip);
    field->setEditable(editable);
    field->setSelectable(selectable);
    field->setEnabled(enabled);
    field->setAllowsEditingTextAttributes(allowsAttributes);
    return {};
}

// A cell: {"title": string, "tag": integer, "enabled": boolean}, the last two optional.
std::string ReadMatrixCell(const json& description, NSMatrixCell& cell) {
    if (!description.is_object()) {
        return "an entry of 'cells' is not an object";
    }
    if (std::string reason = FirstNibReason(
            {ReadNibProperty(description, "title", json::value_t::string, cell.title),
             ReadNibProperty(description, "tag", json::value_t::number_integer, cell.tag),
             ReadNibProperty(description, "enabled", json::value_t::boolean, cell.enabled)});
        !reason.empty()) {
        return "a cell's " + reason;
    }
    return {};
}

std::string DecodeMatrix(NSObject& object, const json& properties, const NibResolver&) {
    auto* matrix = dynamic_cast<NSMatrix*>(&object);
    if (matrix == nullptr) {
        return "not a matrix object";
    }
    bool enabled = matrix->isEnabled();
    std::string action;
    std::optional<int64_t> selectedTag;
    if (auto found = properties.find("selectedTag"); found != properties.end()) {
        if (!found->is_number_integer()) {
            return "property 'selectedTag' has the wrong type";
        }
        selectedTag = found->get<int64_t>();
    }
    if (std::string reason =
            FirstNibReason({ReadNibProperty(properties, "enabled", json::value_t::boolean, enabled),
                            ReadNibProperty(properties, "action", json::value_t::string, action)});
        !reason.empty()) {
        return reason;
    }
    std::vector<NSMatrixCell> cells;
    if (auto found = properties.find("cells"); found != properties.end()) {
        if (!found->is_array()) {
            return "property 'cells' is not an array";
        }
        for (const json& description : *found) {
            if (std::string reason = ReadMatrixCell(description, cells.emplace_back());
                !reason.empty()) {
                return reason;
            }
        }
    }
    for (NSMatrixCell& cell : cells) {
        matrix->addCell(std::move(cell));
    }
    if (selectedTag && !matrix->selectCellWithTag(*selectedTag)) {
        return "property 'selectedTag' names no cell";
    }
    matrix->setEnabled(enabled);
    if (!action.empty()) {
        matrix->setAction(sel_registerName(action));
    }
    return ReadNibBindings(*matrix, properties);
}

std::string DecodeComboBox(NSObject& object, const json& properties, const NibResolver&) {
    auto* comboBox = dynamic_cast<NSComboBox*>(&object);
    if (comboBox == nullptr) {
        return "not a combo box object";
    }
    bool enabled = comboBox->isEnabled();
    std::string action;
    if (std::string reason =
            FirstNibReason({ReadNibProperty(properties, "enabled", json::value_t::boolean, enabled),
                            ReadNibProperty(properties, "action", json::value_t::string, action)});
        !reason.empty()) {
        return reason;
    }
    std::vector<std::string> items;
    if (auto found = properties.find("items"); found != properties.end()) {
        if (!found->is_array() || !std::all_of(found->begin(), found->end(),
                                               [](const json& item) { return item.is_string(); })) {
            return "property 'items' is not an array of strings";
        }
        items = found->get<std::vector<std::string>>();
    }
    comboBox->setEnabled(enabled);
    if (!action.empty()) {
        comboBox->setAction(sel_registerName(action));
    }
    for (std::string& item : items) {
        comboBox->addItemWithObjectValue(std::move(item));
    }
    return {};
}

std::string DecodeSplitView(NSObject& object, const json& properties, const NibResolver&) {
    auto* splitView = dynamic_cast<NSSplitView*>(&object);
    if (splitView == nullptr) {
        return "not a split view object";
    }
    int style = splitView->dividerStyle();
    if (std::string reason =
            ReadNibProperty(properties, "dividerStyle", json::value_t::number_integer, style);
        !reason.empty()) {
        return reason;
    }
    if (!splitView->setDividerStyle(style)) {
        return "property 'dividerStyle' is not 1 (thick) or 2 (thin)";
    }
    return {};
}

std::string DecodeWindow(NSObject& object, const json& properties, const NibResolver& resolve) {
    auto* window = dynamic_cast<NSWindow*>(&object);
    if (window == nullptr) {
        return "not a window object";
    }
    std::string title = window->title();
    if (std::string reason = ReadNibProperty(properties, "title", json::value_t::string, title);
        !reason.empty()) {
        return reason;
    }
    window->setTitle(title);
    if (auto content = properties.find("contentView"); content != properties.end()) {
        auto* view = dynamic_cast<NSView*>(resolve(*content));
        if (view == nullptr) {
            return "property 'contentView' is not a view";
        }
        if (view->superview() != nullptr) {
            return "property 'contentView' names a view that is inside another view";
        }
        window->setContentView(Ref<NSView>(view));
    }
    return {};
}

} // namespace

void RegisterControlNibDecoders() {
    static const bool registered = [] {
        NibDecoderTable::Register(NSView::ClassObject(), &DecodeView);
        NibDecoderTable::Register(NSButton::ClassObject(), &DecodeButton);
        NibDecoderTable::Register(NSTextField::ClassObject(), &DecodeTextField);
        NibDecoderTable::Register(NSComboBox::ClassObject(), &DecodeComboBox);
        NibDecoderTable::Register(NSMatrix::ClassObject(), &DecodeMatrix);
        NibDecoderTable::Register(NSSplitView::ClassObject(), &DecodeSplitView);
        NibDecoderTable::Register(NSWindow::ClassObject(), &DecodeWindow);
        return true;
    }();
    (void)registered;
}

void ApplyNibFrames(const NibContents& contents) {
    for (const NibObjectRecord& record : contents.objects) {
        if (!record.frame) {
            continue;
        }
        if (auto* window = dynamic_cast<NSWindow*>(record.object.get()); window != nullptr) {
            window->setFrame(*record.frame, false, false);
        } else if (auto* view = dynamic_cast<NSView*>(record.object.get()); view != nullptr) {
            view->setFrame(*record.frame);
        }
    }
}
