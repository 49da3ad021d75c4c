// The page the host plays one caught movie in, to learn what the movie asks for. Called with the
// player's options and the movie's ({url, base, parameters}); the host answers every request of
// the page itself: the player's files, the movie's bytes, and a refusal for everything else.
((config, movie) => {
  'use strict';
  window.RufflePlayer = { config };
  const script = document.createElement('script');
  script.src = config.publicPath + 'ruffle.js';
  script.addEventListener('load', () => {
    const player = window.RufflePlayer.newest().createPlayer();
    player.style.width = '550px';
    player.style.height = '400px';
    document.body.appendChild(player);
    player.load(movie);
  });
  document.head.appendChild(script);
})
