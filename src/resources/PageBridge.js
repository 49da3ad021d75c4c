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
  allowNetworking: "internal",
  contextMenu: "off",
  logLevel: "warn",
  warnOnUnsupportedContent: false
};

// Without a GPU the browser's WebGL runs in software (SwiftShader, llvmpipe), and the player then
// lays a notice about hardware acceleration over the movie at the first pointer move; its canvas
// renderer draws the same movie without it, and starts sooner. Machines with a GPU keep the
// default renderer. Chromium does not refuse SwiftShader for failIfMajorPerformanceCaveat, so the
// renderer's own name decides.
(function chooseRenderer() {
  var software = /swiftshader|llvmpipe|softpipe|software/i;
  try {
    var gl = document.createElement("canvas").getContext("webgl");
    var info = gl && gl.getExtension("WEBGL_debug_renderer_info");
    var name = gl ? String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER)) : "";
    if (!gl || software.test(name)) {
      window.RufflePlayer.config.preferredRenderer = "canvas";
    }
    var lose = gl && gl.getExtension("WEBGL_lose_context");
    if (lose) {
      lose.loseContext(); // the probe's context is not kept from the player
    }
  } catch (ignored) {
    window.RufflePlayer.config.preferredRenderer = "canvas";
  }
})();

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

  // Where the player finds a movie the native side named. A relative path lies beside the page;
  // an absolute one is, in the desktop, the server's address for it (none outside the folders
  // it serves), and elsewhere a file URL. Schemes other than file and http(s) are refused.
  function movieURL(path) {
    var scheme = /^([a-zA-Z][a-zA-Z0-9+.-]*):/.exec(path);
    if (scheme) {
      return /^(file|https?)$/i.test(scheme[1]) ? path : null;
    }
    if (path.charAt(0) !== "/") {
      return path;
    }
    var frame = window.SWFHarvexFrame;
    if (frame && typeof frame.localURL === "function") {
      return frame.localURL(path);
    }
    return "file://" + path;
  }

  function api(playerElement) {
    return typeof playerElement.ruffle === "function" ? playerElement.ruffle() : playerElement;
  }

  // The manifest's entry for the caught movie at `path` (an absolute path in the capture folder),
  // and the served address of the mirror beside it; null for any other movie, outside the
  // desktop, or when there is no manifest.
  function mirrored(path) {
    var frame = window.SWFHarvexFrame;
    if (typeof path !== "string" || path.charAt(0) !== "/" || !frame ||
        typeof frame.localURL !== "function" || typeof fetch !== "function") {
      return Promise.resolve(null);
    }
    var cut = path.lastIndexOf("/");
    var mirror = path.slice(0, cut) + "/.mirror/";
    var name = path.slice(cut + 1);
    var manifest = frame.localURL(mirror + "manifest.json");
    if (!manifest) {
      return Promise.resolve(null);
    }
    return fetch(manifest, { cache: "no-store" })
      .then(function (response) { return response.ok ? response.json() : null; })
      .then(function (read) {
        var movies = read && Array.isArray(read.movies) ? read.movies : [];
        for (var i = 0; i < movies.length; i++) {
          if (movies[i] && movies[i].file === name) {
            return { entry: movies[i], mirror: mirror, frame: frame };
          }
        }
        return null;
      })
      .catch(function () { return null; });
  }

  // How a caught movie plays from what was caught: with its page's flashvars and base (so that
  // its relative addresses resolve as on the site), and every address it loads that was caught
  // rewritten to the copy in the mirror. What was not caught stays unreachable: the frame reads
  // its own origin only.
  function mirrorOptions(found, options) {
    var entry = found.entry;
    var rules = [];
    var files = Array.isArray(entry.dependencies) ? entry.dependencies : [];
    files.forEach(function (file) {
      if (!file || file.status !== "caught" || typeof file.mirrorPath !== "string") {
        return;
      }
      var served = found.frame.localURL(found.mirror + file.mirrorPath);
      if (!served) {
        return;
      }
      // Whole: the player would resolve a bare path against the movie's base, the site.
      var copy = new URL(served, window.location.href).href;
      rules.push([String(file.address), copy]);
      if (typeof file.requestedAs === "string") {
        rules.push([file.requestedAs, copy]);
      }
    });
    options.urlRewriteRules = rules;
    // The player takes its base as a folder: a page's address stands for the folder it is in.
    var base = entry.base ||
      (typeof entry.page === "string" ? entry.page.replace(/[?#].*$/, "").replace(/[^/]*$/, "") : "");
    if (typeof base === "string" && base !== "") {
      options.base = base;
    }
    if (typeof entry.flashvars === "string" && entry.flashvars !== "") {
      options.parameters = entry.flashvars;
    }
    return options;
  }

  // Starts a movie in a player element; the result may be a promise. `path`, the movie's file,
  // lets a caught movie play from the mirror.
  function load(playerElement, url, path) {
    var player = api(playerElement);
    if (path === undefined) {
      return player.load({ url: url });
    }
    return mirrored(path).then(function (found) {
      return player.load(found ? mirrorOptions(found, { url: url }) : { url: url });
    });
  }

  // Whether a player element shows a movie: its ready state is past "have nothing" (0), which
  // it stays at while a movie is fetched and returns to when a movie could not be played.
  function showsMovie(playerElement) {
    return api(playerElement).readyState > 0;
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

  return {
    present: present,
    log: log,
    player: player,
    movieURL: movieURL,
    load: load,
    showsMovie: showsMovie,
    start: start
  };
})();
