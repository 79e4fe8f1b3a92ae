/** A chain refused (its message is the command line's one error line) or a job that failed. */
export class WavfxError extends Error {
  name: 'WavfxError';
  /** One of wavfx.h's WAVFX_ERROR_ or WAVFX_JOB_ codes; 0 when the package itself refused. */
  code: number;
}

export interface ParameterInfo {
  name: string;
  unit: string;
  default: number;
  min: number;
  max: number;
  integer: boolean;
  /** Names of the values 0, 1, ... of a choice; null otherwise. */
  choices: string[] | null;
  /** Seconds, or a frame count written with a trailing 's'. */
  time: boolean;
  /** A text value (remix's map). */
  text: boolean;
  description: string;
}

export interface EffectInfo {
  name: string;
  aliases: string[];
  description: string;
  parameters: ParameterInfo[];
}

/** Planar channel data, as Web Audio's AudioBuffer.getChannelData gives it. */
export type Planar = Float32Array[];

export type Bits = 8 | 16 | 24 | 32 | 'float';

export interface Chain {
  readonly text: string;
  readonly channels: number;
  readonly sampleRate: number;
  readonly outputChannels: number;
  readonly outputSampleRate: number;
  /** Whether a stage changes the rate, channel count or length (output frames may differ). */
  readonly reshapes: boolean;
  /** The next part of the stream; state carries from call to call, however the stream is cut.
   * `into`: for a chain that keeps the stream's shape, arrays the output goes to (`planar` too). */
  process(planar: Planar, into?: Planar): Planar;
  /** What the stages still hold after the last input; the stream then ends: a reshaping chain's
   * process() throws until reset(). */
  flush(): Planar;
  /** Starts a new stream with the state the chain was created with. */
  reset(): void;
  /** Frees the chain's memory; it cannot be used after. */
  dispose(): void;
}

export interface ChannelStats {
  dcOffset: number;
  min: number;
  max: number;
  /** dBFS; -Infinity when silent. */
  peak: number;
  /** dBTP; -Infinity when silent. */
  truePeak: number;
  rms: number;
  crestFactor: number;
  fullScale: number;
  bitDepth: number;
}

export interface Measurement {
  frames: number;
  nonFinite: number;
  /** LUFS; -Infinity with nothing above the gates. */
  integrated: number;
  momentaryMax: number;
  shortTermMax: number;
  /** LU */
  range: number;
  samplePeak: number;
  truePeak: number;
  overall: ChannelStats;
  channels: ChannelStats[];
  /** Loudness every 100 ms in LUFS. */
  history: { momentary: Float64Array; shortTerm: Float64Array };
}

export interface Wavfx {
  readonly version: string;
  effects(): EffectInfo[];
  /** Throws WavfxError with the command line's one line for a chain it refuses, and for a stream
   * of other than 1 to 65535 channels or a sample rate that is not a whole number of hertz. */
  chain(text: string, stream?: { channels?: number; sampleRate?: number }): Chain;
  /**
   * A 16-bit PCM WAV file through the library's own reader and writer: the bytes of
   * `wavfx in.wav out.wav CHAIN` (`tail`: seconds of silence after the input). Other
   * encodings: decode them (readWav, or decodeAudioData in a browser) and use chain().
   */
  processWav(input: ArrayBuffer | Uint8Array, chain: string, options?: { bits?: Bits; tail?: number }): ArrayBuffer;
  /** Throws WavfxError for what it cannot decode, and (code 2) for a file cut short inside its
   * data, as the command line's read fails. */
  readWav(input: ArrayBuffer | Uint8Array): { channels: number; sampleRate: number; bits: Bits; data: Planar };
  writeWav(planar: Planar, sampleRate: number, options?: { bits?: Bits }): ArrayBuffer;
  measure(planar: Planar, sampleRate: number): Measurement;
}

/** Loads the WebAssembly module: scalar by default, `simd: true` for the SIMD build (same bytes). */
export function loadWavfx(options?: { wasmBinary?: ArrayBuffer | Uint8Array; simd?: boolean }): Promise<Wavfx>;

export function readWav(input: ArrayBuffer | Uint8Array): { channels: number; sampleRate: number; bits: Bits; data: Planar };
export function writeWav(planar: Planar, sampleRate: number, bits?: Bits): ArrayBuffer;
