// What the captured-SWF window's two pages share, loaded in each page's head before the player:
// the player's settings, the native side's object (absent when a page is opened on its own,
// so every use is guarded), logging through it, telling it the page is ready, and the player.
"use strict";

// What Ruffle reads when it loads. Caught movies are strangers' content: they get no access to
// the page's script (and so none to the native side) and cannot open addresses.
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  polyfills: false,
  autoplay: "on",
  unmuteOverlay: "hidden",
  splashScreen: false,
  letterbox: "on",
  allowScriptAccess: false,
  openUrlMode: "deny",
  warnOnUnsupportedContent: false
};

var PageBridge = (function () {
  function present() {
    return typeof cocoaApp !== "undefined" && cocoaApp !== null;
  }

  function log(message) {
    try {
      if (present() && cocoaApp.WriteCocoaAppLog) {
        cocoaApp.WriteCocoaAppLog(String(message));
      }
    } catch (ignored) {
      // Logging must never break the page.
    }
  }

  // The config above makes window.RufflePlayer exist even without the player: only a loaded
  // player has newest().
  function player() {
    var ruffle = window.RufflePlayer;
    return ruffle && typeof ruffle.newest === "function" ? ruffle.newest() : null;
  }

  // Runs `start` once the page is parsed, then tells the native side that everything it calls
  // exists.
  function start(pageName, begin) {
    function run() {
      begin();
      try {
        if (present()) {
          cocoaApp.bSWFReady = true;
        }
      } catch (error) {
        log(pageName + ": cannot report readiness: " + error);
      }
    }
    if (document.readyState === "loading") {
      document.addEventListener("DOMContentLoaded", run);
    } else {
      run();
    }
  }

  return { present: present, log: log, player: player, start: start };
})();
