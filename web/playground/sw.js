// Keeps the page working offline once it has loaded: everything it needs is stored on install,
// and every request is answered from the network when there is one, else from that store.
const store = 'wavfx-playground-v1';
const files = ['./', 'index.html', 'style.css', 'app.js', 'chain.js', 'controls.js', 'player.js',
  'spectrogram.js', 'demo.wav', '../src/wavfx.js', '../dist/wavfx.js', '../dist/wavfx-simd.js'];

self.addEventListener('install', (event) => {
  // A file missing from this build (the SIMD module) must not keep the rest from being stored.
  event.waitUntil(caches.open(store).then((cache) =>
    Promise.all(files.map((file) => cache.add(file).catch(() => undefined)))));
});

self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  event.respondWith(fetch(event.request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(store).then((cache) => cache.put(event.request, copy));
    }
    return response;
  }).catch(() => caches.match(event.request, { ignoreSearch: true })));
});
