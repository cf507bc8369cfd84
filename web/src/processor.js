// The AudioWorkletProcessor: one voice of the WebAssembly core per channel, its controls the
// node's AudioParams, read once per render quantum (the core ramps Gain and Mix across it).
import { instantiateTinvoicer } from './core.js';
import { TINVOICER_PARAMETERS, TINVOICER_PROCESSOR } from './parameters.js';

class TinvoicerProcessor extends AudioWorkletProcessor {
  static get parameterDescriptors() {
    return TINVOICER_PARAMETERS.map(({ name, minValue, maxValue, defaultValue }) =>
      ({ name, minValue, maxValue, defaultValue, automationRate: 'k-rate' }));
  }

  // The module arrives compiled from the main thread; every voice is made here, before the
  // first quantum, so that the audio path allocates nothing.
  constructor(options) {
    super();
    const core = instantiateTinvoicer(options.processorOptions.module);
    this.voices = Array.from({ length: options.outputChannelCount[0] }, () => core.createVoice());
  }

  process(inputs, outputs, parameters) {
    const input = inputs[0];
    const output = outputs[0];
    const gain = parameters.gain[0];
    const pitch = parameters.pitch[0];
    const mix = parameters.mix[0];
    // An unconnected input has no channels: the voice then plays its tail out of silence.
    for (let channel = 0; channel < output.length; channel++) {
      this.voices[channel].process(input[channel], output[channel], gain, pitch, mix);
    }
    return true;
  }
}

registerProcessor(TINVOICER_PROCESSOR, TinvoicerProcessor);
