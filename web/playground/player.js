// A/B playback: both sounds run together, each through its own gain, and the switch only moves
// the gains, so the listener hears the same moment of either.

export function createPlayer(onStop) {
  let context = null;
  let buffers = [null, null];
  let nodes = [];
  let startedAt = 0;
  let which = 0;
  let loop = true;

  const audio = () => (context ??= new AudioContext());

  function toBuffer({ channels, sampleRate }) {
    try {
      const buffer = audio().createBuffer(channels.length, Math.max(channels[0].length, 1), sampleRate);
      channels.forEach((data, i) => buffer.copyToChannel(data, i));
      return buffer;
    } catch {
      return null; // a rate Web Audio cannot play
    }
  }

  function halt() {
    for (const node of nodes) {
      node.source.onended = null;
      node.source.stop();
    }
    nodes = [];
  }

  function start(offset) {
    halt();
    const ctx = audio();
    ctx.resume();
    nodes = buffers.filter(Boolean).map((buffer) => {
      const source = ctx.createBufferSource();
      source.buffer = buffer;
      source.loop = loop;
      const gain = ctx.createGain();
      gain.gain.value = buffer === buffers[which] ? 1 : 0;
      source.connect(gain).connect(ctx.destination);
      source.start(0, offset % buffer.duration);
      return { source, gain, buffer };
    });
    startedAt = ctx.currentTime - offset;
    const longest = nodes.reduce((a, b) => (b.buffer.duration > a.buffer.duration ? b : a), nodes[0]);
    if (longest) longest.source.onended = () => stop();
  }

  function stop() {
    halt();
    onStop();
  }

  return {
    playing: () => nodes.length > 0,
    // Sets the original (0) and the result (1), each { channels, sampleRate } or null; playback
    // goes on from where it was. False when the result cannot be played.
    set(index, sound) {
      buffers[index] = sound ? toBuffer(sound) : null;
      if (nodes.length) start(audio().currentTime - startedAt);
      return !sound || buffers[index] !== null;
    },
    play: () => start(0),
    stop,
    hear(index) {
      which = index;
      for (const node of nodes) node.gain.gain.setTargetAtTime(node.buffer === buffers[which] ? 1 : 0, context.currentTime, 0.01);
    },
    loop(on) {
      loop = on;
      for (const node of nodes) node.source.loop = on;
    },
    // Decodes what wavfx's reader does not read, at the audio device's rate.
    async decode(bytes) {
      const decoded = await audio().decodeAudioData(bytes.slice(0));
      const channels = Array.from({ length: decoded.numberOfChannels }, (_, i) => decoded.getChannelData(i));
      return { channels, sampleRate: decoded.sampleRate };
    },
  };
}
