import { loadWavfx } from '../src/wavfx.js';
import { commandLine, formatChain, parseChain } from './chain.js';
import { focusStage, renderStages } from './controls.js';
import { createPlayer } from './player.js';
import { drawSpectrogram } from './spectrogram.js';

const $ = (id) => document.getElementById(id);
const EXAMPLES = [
  'chorus=rate=0.8:feedback=0.4',
  'highpass=cutoff=120,compress=threshold=-18:ratio=3,reverb',
  'lowpass=poles=2:cutoff=1500,resample=rate=16000',
  'echo=delay=250:feedback=0.3,limiter',
  'tempo=factor=1.25',
];

// Fetched at once so that the page needs nothing more from the server once loaded.
const demo = fetch('demo.wav').then((response) => response.arrayBuffer());

// A reload works offline too (not from file://, which has no service workers).
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').catch(() => undefined);
}

let fx = null;
let effects = [];
let stages = [];
let input = null; // { name, bytes, wav, channels, sampleRate }
let timer = 0;
let downloadUrl = '';
const player = createPlayer(() => ($('play').textContent = 'Play'));

function status(state, message) {
  $('status').dataset.state = state;
  $('status').textContent = message;
}

const seconds = (frames, rate) => `${(frames / rate).toFixed(2)} s`;
const describe = ({ channels, sampleRate }) =>
  `${channels.length} ch, ${sampleRate} Hz, ${seconds(channels[0].length, sampleRate)}`;

// The library's reader where it reads the file, else the browser's decoder.
async function readAudio(bytes) {
  try {
    const { data, sampleRate, bits } = fx.readWav(bytes.slice(0));
    return { channels: data, sampleRate, bits, wav: true };
  } catch {
    return { ...(await player.decode(bytes)), wav: false };
  }
}

function showLoudness(side, sound) {
  const m = sound ? fx.measure(sound.channels, sound.sampleRate) : {};
  const show = (key, unit) => {
    const v = m[key];
    $(`${side}-${key}`).textContent = v === undefined ? '–' : Number.isFinite(v) ? `${v.toFixed(1)} ${unit}` : `−∞ ${unit}`;
  };
  show('integrated', 'LUFS');
  show('truePeak', 'dBTP');
  show('range', 'LU');
}

function drawBoth(result) {
  const top = Math.max(input.sampleRate, result ? result.sampleRate : 0) / 2;
  drawSpectrogram($('spectrogram-a'), input.channels, input.sampleRate, top);
  if (result) drawSpectrogram($('spectrogram-b'), result.channels, result.sampleRate, top);
  else $('spectrogram-b').getContext('2d').clearRect(0, 0, $('spectrogram-b').width, $('spectrogram-b').height);
}

function outputName() {
  return `${input ? input.name.replace(/\.[^.]*$/, '') : 'in'}-wavfx.wav`;
}

function showCommand(text) {
  $('command').textContent = commandLine(input ? input.name : 'in.wav', outputName(), text || 'none', $('bits').value);
}

function setDownload(bytes) {
  if (downloadUrl) URL.revokeObjectURL(downloadUrl);
  downloadUrl = bytes ? URL.createObjectURL(new Blob([bytes], { type: 'audio/wav' })) : '';
  const link = $('download');
  if (bytes) {
    link.href = downloadUrl;
    link.download = outputName();
    link.removeAttribute('aria-disabled');
  } else {
    link.removeAttribute('href');
    link.setAttribute('aria-disabled', 'true');
  }
}

const NEEDS_MEASUREMENT = -21; // norm and loudnorm: a file job measures them first

// Judges a chain's text for the input's format, showing the library's error line.
function check(text) {
  try {
    fx.chain(text, { channels: input ? input.channels.length : 2, sampleRate: input ? input.sampleRate : 44100 }).dispose();
  } catch (error) {
    if (error.code !== NEEDS_MEASUREMENT) {
      $('error').textContent = error.message;
      status('error', 'The chain is refused; the controls keep the last chain that worked.');
      return false;
    }
  }
  $('error').textContent = '';
  return true;
}

const toBuffer = (bytes) => (bytes instanceof ArrayBuffer ? bytes : bytes.slice().buffer);

function join(parts) {
  return parts[0].map((_, c) => {
    const out = new Float32Array(parts.reduce((n, part) => n + part[c].length, 0));
    let at = 0;
    for (const part of parts) {
      out.set(part[c], at);
      at += part[c].length;
    }
    return out;
  });
}

// The result's bytes and how they were made: a WAV file through the library's file job (the
// command line's bytes), anything else, or a WAV file the job does not read, as samples through
// a chain, written at the input's depth.
function render(text, bits) {
  if (input.wav) {
    try {
      return { bytes: fx.processWav(toBuffer(input.bytes), text, bits ? { bits } : {}), how: "wavfx's file job" };
    } catch {
      // the chain was judged already: this file is one the job does not read
    }
  }
  const chain = fx.chain(text, { channels: input.channels.length, sampleRate: input.sampleRate });
  try {
    const planar = join([chain.process(input.channels), chain.flush()]);
    return { bytes: fx.writeWav(planar, chain.outputSampleRate, { bits: bits || input.bits || 16 }), how: 'a chain over the samples' };
  } finally {
    chain.dispose();
  }
}

async function run() {
  const text = $('text').value.trim();
  showCommand(text);
  history.replaceState(null, '', text ? `#${encodeURIComponent(text)}` : location.pathname);
  if (!check(text || 'none') || !input) return;
  status('busy', 'Processing…');
  await new Promise(requestAnimationFrame);
  const began = performance.now();
  try {
    const made = render(text || 'none', $('bits').value);
    const bytes = new Uint8Array(made.bytes);
    const ms = performance.now() - began;
    const result = await readAudio(bytes);
    setDownload(bytes);
    showLoudness('b', result);
    drawBoth(result);
    const playable = player.set(1, result);
    $('status').dataset.chain = text;
    status('done', `Result: ${describe(result)}, ${bytes.length} bytes, made by ${made.how} in ${ms.toFixed(0)} ms${playable ? '' : ' (this rate cannot be played here)'}.`);
  } catch (error) {
    $('error').textContent = error.message;
    setDownload(null);
    status('error', 'Processing failed.');
  }
}

// The chain's text box grows with its text.
function setText(text) {
  const box = $('text');
  if (text !== undefined) box.value = text;
  box.style.height = 'auto';
  box.style.height = `${box.scrollHeight + 2}px`;
}

function schedule(delay) {
  clearTimeout(timer);
  timer = setTimeout(run, delay);
}

function drawStages(focus) {
  renderStages($('stages'), effects, stages, (structural, where) => {
    setText(formatChain(stages));
    if (structural) drawStages(where);
    schedule(structural ? 0 : 250);
  });
  if (focus && !focusStage($('stages'), focus)) $('pick').focus();
}

// Takes the text as the chain when the library accepts it, and draws its controls.
function applyText() {
  const text = $('text').value.trim();
  if (text && !check(text)) return;
  stages = text ? parseChain(text) : [];
  drawStages();
  schedule(0);
}

async function load(name, bytes) {
  status('busy', `Reading ${name}…`);
  try {
    input = { name, bytes, ...(await readAudio(bytes)) };
  } catch (error) {
    status('error', `${name} could not be read: ${error.message}`);
    return;
  }
  $('input-info').textContent = `${name}: ${describe(input)}, ${input.wav ? "read by wavfx's WAV reader" : "decoded by the browser at the device's rate"}.`;
  $('play').disabled = false;
  player.set(0, input);
  showLoudness('a', input);
  drawBoth(null);
  run();
}

function wire() {
  $('pick').append(...effects.map((e) => Object.assign(document.createElement('option'), { value: e.name, textContent: e.name, title: e.description })));
  const about = () => ($('pick-about').textContent = effects.find((e) => e.name === $('pick').value)?.description ?? '');
  $('pick').value = 'echo';
  $('pick').addEventListener('change', about);
  about();
  $('add').addEventListener('click', () => {
    stages.push({ name: $('pick').value, params: [] });
    setText(formatChain(stages));
    drawStages();
    $('stages').lastElementChild.querySelector('input, select, button').focus();
    schedule(0);
  });
  for (const example of EXAMPLES) {
    const button = Object.assign(document.createElement('button'), { type: 'button', textContent: example });
    button.addEventListener('click', () => {
      setText(example);
      applyText();
    });
    $('examples').append(button);
  }
  $('text').addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !event.shiftKey) {
      event.preventDefault();
      applyText();
    }
  });
  $('text').addEventListener('change', applyText);
  $('text').addEventListener('input', () => setText());
  $('bits').addEventListener('change', () => schedule(0));
  $('copy').addEventListener('click', () => navigator.clipboard?.writeText($('command').textContent).catch(() => {}));
  $('file').addEventListener('change', async () => {
    const file = $('file').files[0];
    if (file) load(file.name, await file.arrayBuffer());
  });
  $('demo').addEventListener('click', async () => load('demo.wav', await demo));
  const drop = $('drop');
  for (const type of ['dragenter', 'dragover']) {
    drop.addEventListener(type, (event) => {
      event.preventDefault();
      drop.classList.add('over');
    });
  }
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', async (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const file = event.dataTransfer.files[0];
    if (file) load(file.name, await file.arrayBuffer());
  });
  window.addEventListener('dragover', (event) => event.preventDefault());
  window.addEventListener('drop', (event) => event.preventDefault());
  $('play').addEventListener('click', () => {
    if (player.playing()) player.stop();
    else {
      player.play();
      $('play').textContent = 'Stop';
    }
  });
  for (const radio of document.querySelectorAll('input[name=ab]')) radio.addEventListener('change', () => player.hear(Number(radio.value)));
  $('loop').addEventListener('change', () => player.loop($('loop').checked));
}

async function start() {
  try {
    // The SIMD build gives the same bytes, faster; the scalar one where it is missing.
    fx = await loadWavfx({ simd: true }).catch(() => loadWavfx());
  } catch (error) {
    status('error', `The library did not load: ${error.message}`);
    return;
  }
  effects = fx.effects();
  $('version').textContent = `wavfx ${fx.version}`;
  wire();
  for (const id of ['pick', 'add', 'text', 'demo']) $(id).disabled = false;
  status('ready', 'Ready: drop a file or take the demo.');
  let shared = '';
  try {
    shared = decodeURIComponent(location.hash.slice(1));
  } catch {}
  setText(shared || EXAMPLES[0]);
  applyText();
}

start();
