// The robot voice's controls as AudioParams, with the ranges and defaults every edition shows,
// and the four presets. Shared by the main thread and the worklet.

/** Gain in dB, Pitch in semitones from the classic robot, Mix in percent of robot. */
export const TINVOICER_PARAMETERS = Object.freeze([
  Object.freeze({ name: 'gain', unit: 'dB', minValue: -20, maxValue: 20, defaultValue: 0 }),
  Object.freeze({ name: 'pitch', unit: 'semitones', minValue: -24, maxValue: 12, defaultValue: 0 }),
  Object.freeze({ name: 'mix', unit: '%', minValue: 0, maxValue: 100, defaultValue: 100 }),
]);

export const TINVOICER_PRESETS = Object.freeze([
  Object.freeze({ name: 'Classic robot', gain: 0, pitch: 0, mix: 100 }),
  Object.freeze({ name: 'Deep robot', gain: 0, pitch: -12, mix: 100 }),
  Object.freeze({ name: 'Small robot', gain: 0, pitch: 7, mix: 100 }),
  Object.freeze({ name: 'Half robot', gain: 0, pitch: 0, mix: 75 }),
]);

/** The name the worklet's processor is registered under. */
export const TINVOICER_PROCESSOR = 'tinvoicer';
