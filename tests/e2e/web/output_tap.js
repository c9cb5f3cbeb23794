// Run in the page before its own scripts: records what every script node hands to its
// AudioContext's output (SDL's device in the browser is one), as the speakers would get it, so
// that the tests and the benchmark hear what the page played without knowing how it plays.
// window.outputTap: frames, rate, startedAt (performance.now() at which the first recorded frame
// went out), samples(from) -> {rate, left, right} from frame `from` on.
(function () {
    'use strict';
    var connect = AudioNode.prototype.connect;
    var left = [];
    var right = [];
    var tap = {
        frames: 0,
        rate: 0,
        startedAt: null,
        samples: function (from) {
            var frames = Math.max(0, tap.frames - (from || 0));
            var out = {rate: tap.rate, left: new Float32Array(frames), right: new Float32Array(frames)};
            var at = 0;
            var skip = from || 0;
            for (var b = 0; b < left.length; ++b) {
                var block = left[b].length;
                if (skip >= block) {
                    skip -= block;
                    continue;
                }
                out.left.set(left[b].subarray(skip), at);
                out.right.set(right[b].subarray(skip), at);
                at += block - skip;
                skip = 0;
            }
            return out;
        }
    };
    window.outputTap = tap;

    AudioNode.prototype.connect = function (target) {
        var result = connect.apply(this, arguments);
        var context = this.context;
        if (target instanceof AudioDestinationNode && this instanceof ScriptProcessorNode &&
            !this.tapped) {
            this.tapped = true;
            var recorder = context.createScriptProcessor(4096, 2, 2);
            recorder.tapped = true;
            recorder.onaudioprocess = function (event) {
                if (tap.startedAt === null) {
                    tap.rate = context.sampleRate;
                    tap.startedAt = performance.now() +
                        (event.playbackTime - context.currentTime) * 1000;
                }
                var input = event.inputBuffer;
                left.push(new Float32Array(input.getChannelData(0)));
                right.push(new Float32Array(input.getChannelData(input.numberOfChannels > 1 ? 1 : 0)));
                tap.frames += input.length;
                // Silent itself: the sound reaches the output once, straight from its node.
                for (var c = 0; c < event.outputBuffer.numberOfChannels; ++c) {
                    event.outputBuffer.getChannelData(c).fill(0);
                }
            };
            connect.call(this, recorder);
            connect.call(recorder, context.destination);
        }
        return result;
    };
})();
