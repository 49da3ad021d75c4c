#pragma once

#include "appkit/NibContents.h"

// Registers how interface files describe views, controls and windows (once; later calls do
// nothing). A reference is a nested object description or the id of an object described
// elsewhere.
//   NSView       subviews (array of NSView references, in order)
//   NSButton     title, toolTip (strings), enabled (boolean), action (selector name),
//                buttonType ("push", "switch" or "radio"), state (0 off, 1 on),
//                bindings ("value", switch and radio buttons only)
//   NSTextField  stringValue, toolTip (strings), editable, selectable, enabled,
//                allowsEditingTextAttributes (booleans),
//                textColor ([red, green, blue, alpha], 0...1)
//   NSComboBox   items (array of strings), enabled (boolean), action (selector name)
//   NSMatrix     cells (array of {"title": string, "tag": integer, "enabled": boolean}),
//                selectedTag (integer, a cell's), enabled (boolean), action (selector name),
//                bindings ("selectedIndex", the selected row)
// Bindings tie a property to an integer in the standard user defaults (see NibBindings.h):
//   "bindings": { "selectedIndex": { "userDefaultsKey": "SomeKey" } }
// and are applied after the other properties, so the stored value wins.
//   NSSplitView  dividerStyle (1 thick, 2 thin)
//   NSWindow     title (string), contentView (an NSView reference)
void RegisterControlNibDecoders();

// Gives the views and windows of a loaded file the frames the file describes (windows: the
// whole frame, on the screen). The loader keeps frames in its records rather than handing them
// to decoders, so they are applied here, after the load (and after awakeFromNib).
void ApplyNibFrames(const NibContents& contents);
