// Inside the game's module: the bridge to the FluidSynth module that the page loads beside it
// (Module.fluidSynth, its own memory and file system), used by WebFluidSynth.cpp.
var FluidBridge = {
    blockAt: 0,
    blockFrames: 0,

    module: function () {
        return Module['fluidSynth'];
    },

    // A copy of one of our strings in FluidSynth's memory, to be freed by the caller.
    string: function (pointer) {
        var F = Module['fluidSynth'];
        var text = UTF8ToString(pointer);
        var size = F.lengthBytesUTF8(text) + 1;
        var copied = F._malloc(size);
        F.stringToUTF8(text, copied, size);
        return copied;
    },

    // Room in FluidSynth's memory for two channels of this many frames, kept for the next block.
    renderBlock: function (frames) {
        var F = Module['fluidSynth'];
        if (frames > FluidBridge.blockFrames) {
            if (FluidBridge.blockAt) F._free(FluidBridge.blockAt);
            FluidBridge.blockAt = F._malloc(frames * 8);
            FluidBridge.blockFrames = frames;
        }
        return FluidBridge.blockAt;
    },

    copyFloats: function (from, first, count, to, step) {
        if (step === 1) {
            HEAPF32.set(from.subarray(first, first + count), to);
            return;
        }
        for (var i = 0; i < count; ++i) HEAPF32[to + i * step] = from[first + i];
    },

    // A file FluidSynth is to open: the page writes the soundfont straight into its file system;
    // anything else is copied over from ours.
    provideFile: function (path) {
        var F = Module['fluidSynth'];
        try {
            F.FS.stat(path);
            return;
        } catch (missing) {
        }
        var bytes;
        try {
            bytes = FS.readFile(path);
        } catch (missing) {
            return;
        }
        var slash = path.lastIndexOf('/');
        if (slash > 0) F.FS.mkdirTree(path.substring(0, slash));
        F.FS.writeFile(path, bytes);
    }
};
