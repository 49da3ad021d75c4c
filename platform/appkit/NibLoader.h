#pragma once

#include <string>

#include "appkit/NibContents.h"
#include "foundation/Outcome.h"
#include "runtime/NSObject.h"

// Interface files are JSON:
//
//   {
//     "objects": [
//       { "class": "NSMenu", "id": "menu", "frame": [0, 0, 160, 80],
//         "properties": { "title": "SWFHarvex", "items": [
//           { "class": "NSMenuItem", "id": "list",
//             "properties": { "title": "Captured SWFs", "keyEquivalent": "l" } },
//           "about" ] } },
//       { "class": "NSMenuItem", "id": "about", "properties": { "title": "About" } }
//     ],
//     "outlets": { "menu": "menu" },
//     "actions": { "list": "showList:", "about": "showAbout:" }
//   }
//
// - "objects": the top-level objects. Each has a runtime class name ("class"), an id unique
//   in the file ("id"), optionally a frame ([x, y, width, height] in points, origin
//   bottom-left) and "properties". Any JSON object with a "class" key inside the properties
//   (at any depth) is a nested object, made the same way. Where a class takes another object,
//   a string is the id of an object described anywhere in the file.
// - Properties are applied by the decoders registered in NibDecoderTable (menus and menu
//   items: see NibMenuDecoders.h). Properties nobody knows, and frames, are not applied; they
//   stay in the contents' records. Other top-level keys are ignored.
// - "outlets": owner's outlet name -> object id, through the outlets the owner's class
//   declares in NibOutletTable.
// - "actions": id of a control (an ActionSender) -> the owner's action selector; the control's
//   target becomes the owner. The owner must implement the action as "v@:@".
//
// Loading makes every object through the runtime, applies properties, checks every outlet and
// action, and only then connects them, so a failed load leaves the owner untouched. Then the
// file's objects that implement awakeFromNib ("v@:") receive it, in file order, and the owner
// last. Nothing throws: a missing or unreadable file, malformed JSON, an unknown class, bad
// properties, an outlet the owner does not declare or an action it does not implement come
// back as a failure naming the file and the reason; no object of the file is kept then.
Outcome<NibContents> loadNibFile(const std::string& path, id owner);
