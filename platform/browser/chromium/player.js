// Runs in every frame before the page's own scripts when the host shows its pages: Ruffle, from
// the host's own copy, takes the place of the Flash player for the page's movies. The host
// answers for the player's origin itself; nothing is fetched from outside for it.
(() => {
  'use strict';
  const ORIGIN = 'https://swfharvex-player.invalid';
  const ruffle = (window.RufflePlayer = window.RufflePlayer || {});
  // The page believes a Flash player is installed (the observer says so); Ruffle must play all
  // the same, and quietly: no splash, no overlays asking for a click, no context menu.
  ruffle.config = Object.assign(
    {
      favorFlash: false,
      autoplay: 'on',
      unmuteOverlay: 'hidden',
      splashScreen: false,
      contextMenu: 'off',
      warnOnUnsupportedContent: false,
      publicPath: ORIGIN + '/',
    },
    ruffle.config || {},
  );
  const load = () => {
    const script = document.createElement('script');
    script.src = ORIGIN + '/ruffle.js';
    (document.head || document.documentElement).appendChild(script);
  };
  if (document.documentElement) {
    load();
  } else {
    document.addEventListener('DOMContentLoaded', load, { once: true });
  }
})();
