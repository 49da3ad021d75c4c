#pragma once

// Registers how interface files describe menus (once; later calls do nothing):
//   NSMenu      title (string), items (array of NSMenuItem references, in order)
//   NSMenuItem  title, keyEquivalent (strings), enabled (boolean), action (selector name,
//               no target: interface files give targets through their actions), submenu
//               (an NSMenu reference)
// A reference is a nested object description or the id of an object described elsewhere.
void RegisterMenuNibDecoders();
