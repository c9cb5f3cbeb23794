// The page around the game: checks what the browser can do, downloads the game with a progress
// bar, shows the title picture with "Click to play" until the player's first click or key (the
// browser lets sound start only then), starts the game, fits its canvas to the window or the
// screen, shows its message boxes, and says when it has ended. window.flurber holds what the
// page's tests read.
(function () {
    'use strict';

    var PictureWidth = 800;
    var PictureHeight = 600;
    // Keys the browser would act on itself (scrolling, leaving the page's focus).
    var KeysKeptFromBrowser = {
        ' ': true, 'ArrowUp': true, 'ArrowDown': true, 'ArrowLeft': true, 'ArrowRight': true,
        'PageUp': true, 'PageDown': true, 'Home': true, 'End': true, 'Tab': true,
        'Backspace': true, 'Enter': true, 'Spacebar': true, 'Up': true, 'Down': true,
        'Left': true, 'Right': true
    };
    var FrameTimesKept = 65536;

    var stage, pictureBox, canvas, enlarged, enlargedContext, cover, title, heading, noticeText,
        progress, progressBar, progressText, actions, message, messageCaption, messageText,
        messageOk, fullscreenButton;

    var downloaded = {};   // name -> ArrayBuffer
    var assetFiles = null; // [{path, bytes}] unpacked from the archive, kept for another game
    var fluidSynth = null; // the FluidSynth module
    var game = null;       // the game's module of the game under way or ready to start
    var picture = null;    // {context, image}
    var closeMessage = null;
    var enlargedBy = 0;    // the whole multiple of the sharp enlargement, 0 for none
    var audioContext = null;
    var noSound = false;   // the browser has no Web Audio: the game plays in silence

    var test = {
        state: 'loading',
        frames: 0,
        frameTimes: new Float64Array(FrameTimesKept),
        presentTimes: new Float64Array(FrameTimesKept),
        frameWork: new Float64Array(FrameTimesKept),
        startedAt: 0,
        firstFrameAt: 0,
        exitCode: null,
        problem: null,
        message: null,
        refreshResumedAt: 0
    };

    // --- What the game's module calls (Module.page) ---

    var pageForGame = {
        awaitRefresh: function () {
            if (test.refreshResumedAt > 0) {
                test.frameWork[test.frames % FrameTimesKept] =
                    performance.now() - test.refreshResumedAt;
            }
            return new Promise(function (resolve) {
                requestAnimationFrame(function (moment) {
                    test.refreshResumedAt = performance.now();
                    resolve(moment);
                });
            });
        },

        startPicture: function (width, height) {
            canvas.width = width;
            canvas.height = height;
            var context = canvas.getContext('2d', {alpha: false});
            picture = {context: context, image: context.createImageData(width, height)};
            Layout();
        },

        putRows: function (heap, rgba, width, first, end) {
            var data = picture.image.data;
            var start = first * width * 4;
            data.set(heap.subarray(rgba + start, rgba + end * width * 4), start);
            picture.context.putImageData(picture.image, 0, 0, 0, first, width, end - first);
            Enlarge(first, end);
        },

        framePresented: function (moment) {
            var now = performance.now();
            if (test.frames === 0) test.firstFrameAt = now;
            test.frameTimes[test.frames % FrameTimesKept] = moment;
            test.presentTimes[test.frames % FrameTimesKept] = now;
            ++test.frames;
        },

        showMessage: function (caption, text) {
            return new Promise(function (resolve) {
                messageCaption.textContent = caption;
                messageText.textContent = text;
                message.hidden = false;
                test.message = {caption: caption, text: text};
                messageOk.focus();
                closeMessage = function () {
                    message.hidden = true;
                    test.message = null;
                    closeMessage = null;
                    canvas.focus();
                    resolve();
                };
            });
        },

        programEnded: function (exitCode) {
            test.state = 'quit';
            test.exitCode = exitCode;
            if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
            game = null;
            ShowNotice('The Flurber', 'You have quit the game. Thanks for playing!', [
                {label: 'Play again', act: PlayAgain}
            ]);
            title.removeAttribute('hidden');
            cover.hidden = false;
        }
    };

    // --- The notice over the title picture: loading, click to play, problems ---

    function ShowNotice(headingText, text, buttons) {
        heading.textContent = headingText;
        noticeText.textContent = text;
        progress.hidden = true;
        progressText.textContent = '';
        actions.textContent = '';
        (buttons || []).forEach(function (button) {
            var element = document.createElement('button');
            element.type = 'button';
            element.textContent = button.label;
            element.addEventListener('click', function (event) {
                event.stopPropagation();
                button.act();
            });
            actions.appendChild(element);
        });
        cover.classList.remove('playable');
        cover.hidden = false;
    }

    function ShowProblem(text, buttons) {
        test.state = 'error';
        test.problem = text;
        ShowNotice('The Flurber can\u2019t start', text, buttons);
    }

    function ShowProgress(done, total) {
        progress.hidden = false;
        progressBar.style.width = (total > 0 ? Math.min(100, 100 * done / total) : 0) + '%';
        progressText.textContent = (done / 1048576).toFixed(1) + ' of ' +
            (total / 1048576).toFixed(1) + ' MB';
    }

    // --- Downloads ---

    function Fetch(name, onBytes) {
        return fetch(name).then(function (response) {
            if (!response.ok) throw new Error(response.status + ' ' + response.statusText);
            if (!response.body || !response.body.getReader) {
                return response.arrayBuffer().then(function (buffer) {
                    onBytes(buffer.byteLength);
                    return buffer;
                });
            }
            var reader = response.body.getReader();
            var chunks = [];
            var length = 0;
            function Read() {
                return reader.read().then(function (part) {
                    if (part.done) {
                        var whole = new Uint8Array(length);
                        var at = 0;
                        chunks.forEach(function (chunk) {
                            whole.set(chunk, at);
                            at += chunk.length;
                        });
                        return whole.buffer;
                    }
                    chunks.push(part.value);
                    length += part.value.length;
                    onBytes(part.value.length);
                    return Read();
                });
            }
            return Read();
        });
    }

    function DownloadAll() {
        var files = window.flurberFiles.downloads.filter(function (file) {
            return !downloaded[file.name];
        });
        var total = 0;
        var done = 0;
        window.flurberFiles.downloads.forEach(function (file) {
            total += file.size;
            if (downloaded[file.name]) done += file.size;
        });
        ShowNotice('The Flurber', 'Loading\u2026');
        ShowProgress(done, total);
        var failed = [];
        return Promise.all(files.map(function (file) {
            var got = 0;
            return Fetch(file.name, function (count) {
                got += count;
                // A server that compresses on the fly sends more or fewer bytes than the file has.
                done += Math.max(0, Math.min(count, file.size - (got - count)));
                ShowProgress(done, total);
            }).then(function (buffer) {
                downloaded[file.name] = buffer;
            }, function (error) {
                failed.push(file.name + ' (' + error.message + ')');
            });
        })).then(function () {
            if (failed.length === 0) return true;
            ShowProblem('These files of the game could not be downloaded: ' + failed.join(', ') +
                '. Check the connection, then try again.', [{label: 'Try again', act: Start}]);
            return false;
        });
    }

    function Gunzip(buffer) {
        var bytes = new Uint8Array(buffer);
        // Served with Content-Encoding: gzip, the browser has already unpacked it.
        if (bytes[0] !== 0x1f || bytes[1] !== 0x8b) return Promise.resolve(bytes);
        var stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
        return new Response(stream).arrayBuffer().then(function (unpacked) {
            return new Uint8Array(unpacked);
        });
    }

    // The files of a tar archive (ustar or GNU, names under 100 bytes or with a prefix).
    function Untar(bytes) {
        var files = [];
        var at = 0;
        function Text(from, length) {
            var end = from;
            while (end < from + length && bytes[end] !== 0) ++end;
            return new TextDecoder().decode(bytes.subarray(from, end));
        }
        while (at + 512 <= bytes.length && bytes[at] !== 0) {
            var name = Text(at, 100);
            var size = parseInt(Text(at + 124, 12).trim() || '0', 8);
            var type = String.fromCharCode(bytes[at + 156] || 48);
            var prefix = Text(at + 345, 155);
            if (prefix) name = prefix + '/' + name;
            at += 512;
            if (type === '0' || type === '\0') {
                files.push({path: name, bytes: bytes.slice(at, at + size)});
            }
            at += Math.ceil(size / 512) * 512;
        }
        return files;
    }

    function RunScript(name) {
        return new Promise(function (resolve, reject) {
            var script = document.createElement('script');
            var url = URL.createObjectURL(new Blob([downloaded[name]], {type: 'text/javascript'}));
            script.onload = function () {
                URL.revokeObjectURL(url);
                resolve();
            };
            script.onerror = function () {
                reject(new Error(name + ' could not be run'));
            };
            script.src = url;
            document.head.appendChild(script);
        });
    }

    function StartFluidSynth() {
        if (fluidSynth) return Promise.resolve();
        return new Promise(function (resolve, reject) {
            // It is an Emscripten module of the classic kind: it takes the global Module.
            window.Module = {
                print: function () {},
                printErr: function () {},
                onRuntimeInitialized: function () {
                    fluidSynth = window.Module;
                    resolve();
                },
                onAbort: function (what) {
                    reject(new Error('FluidSynth: ' + what));
                }
            };
            RunScript(window.flurberFiles.fluidSynth).catch(reject);
        }).then(function () {
            var name = window.flurberFiles.soundFont;
            return Gunzip(downloaded[name + '.gz']).then(function (soundFont) {
                fluidSynth.FS.mkdirTree('/usr/share/sounds/sf2');
                fluidSynth.FS.writeFile('/usr/share/sounds/sf2/' + name, soundFont);
                delete downloaded[name + '.gz'];
                WarmUpFluidSynth('/usr/share/sounds/sf2/' + name);
            });
        });
    }

    // The browser compiles a module's code as it first runs: the first load of the soundfont took
    // 340 ms, the next ones 40 to 55. Done once here, while the page waits for the player, the
    // game's own load after the click is a short one.
    function WarmUpFluidSynth(path) {
        var F = fluidSynth;
        function Text(text) {
            var size = F.lengthBytesUTF8(text) + 1;
            var copied = F._malloc(size);
            F.stringToUTF8(text, copied, size);
            return copied;
        }
        var settings = F._new_fluid_settings();
        var key = Text('synth.dynamic-sample-loading');
        F._fluid_settings_setint(settings, key, 1);
        var synth = F._new_fluid_synth(settings);
        var file = Text(path);
        F._fluid_synth_sfload(synth, file, 1);
        F._delete_fluid_synth(synth);
        F._delete_fluid_settings(settings);
        F._free(file);
        F._free(key);
    }

    // Making an AudioContext took a third of a second here (the browser opens its output): made
    // while the page waits for the player, it is only resumed by the click. SDL takes it over.
    function AudioContextForGame() {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) return null;
        if (!audioContext || audioContext.state === 'closed') {
            try {
                audioContext = new Context();
            } catch (refused) {
                audioContext = null;
            }
        }
        return audioContext;
    }

    function UnpackAssets() {
        if (assetFiles) return Promise.resolve();
        return Gunzip(downloaded['assets.tar.gz']).then(function (archive) {
            assetFiles = Untar(archive);
            delete downloaded['assets.tar.gz'];
        });
    }

    function ShowTitle() {
        for (var i = 0; i < assetFiles.length; ++i) {
            if (assetFiles[i].path === 'flurber/Graphics/MenuBG.bmp') {
                title.src = URL.createObjectURL(new Blob([assetFiles[i].bytes], {type: 'image/bmp'}));
                return;
            }
        }
    }

    // A fresh instance of the game's module, its file system filled, ready for main.
    function MakeGame() {
        var context = AudioContextForGame();
        return window.createFlurber({
            SDL2: context ? {audioContext: context} : {},
            wasmBinary: downloaded['flurber.wasm'],
            canvas: canvas,
            fluidSynth: fluidSynth,
            page: pageForGame,
            print: function (text) { console.log(text); },
            printErr: function (text) { console.warn(text); },
            onAbort: function (what) { GameFailed(String(what)); },
            preRun: [function (module) {
                assetFiles.forEach(function (file) {
                    var slash = file.path.lastIndexOf('/');
                    if (slash > 0) module.FS.mkdirTree('/' + file.path.substring(0, slash));
                    module.FS.writeFile('/' + file.path, file.bytes);
                });
            }]
        });
    }

    function GameFailed(what) {
        if (test.state === 'error') return;
        game = null;
        ShowProblem('The game has stopped because of an error in it (' + what + '). ' +
            'Reloading the page starts it again.', [{label: 'Reload', act: function () {
                location.reload();
            }}]);
    }

    // --- Starting and playing ---

    function Start() {
        DownloadAll().then(function (complete) {
            if (!complete) return;
            ShowNotice('The Flurber', 'Getting ready\u2026');
            var scripts = window.createFlurber ? Promise.resolve() : RunScript('flurber.js');
            return Promise.all([scripts, StartFluidSynth(), UnpackAssets()]).then(function () {
                ShowTitle();
                return MakeGame();
            }).then(function (instance) {
                game = instance;
                WaitForPlayer();
            });
        }).catch(function (error) {
            ShowProblem('This browser could not start the game (' + error.message + '). ' +
                'A current Chrome, Chromium, Edge, Firefox or Safari plays it.');
        });
    }

    function WaitForPlayer() {
        test.state = 'ready';
        ShowNotice('The Flurber', noSound
            ? 'Click to play \u2014 without sound: this browser has no Web Audio.'
            : 'Click to play', []);
        cover.classList.add('playable');
        function Go(event) {
            if (event.type === 'keydown' && (event.key === 'Alt' || event.key === 'Control' ||
                                             event.key === 'Shift' || event.key === 'Meta')) {
                return;
            }
            event.preventDefault();
            stage.removeEventListener('click', Go);
            window.removeEventListener('keydown', Go, true);
            Play();
        }
        stage.addEventListener('click', Go);
        window.addEventListener('keydown', Go, true);
    }

    function Play() {
        // In the click's or the key's own handler: the browser lets the sound start now.
        if (audioContext && audioContext.state === 'suspended') {
            audioContext.resume().catch(function () {});
        }
        cover.hidden = true;
        test.state = 'running';
        test.startedAt = performance.now();
        test.frames = 0;
        test.firstFrameAt = 0;
        test.refreshResumedAt = 0;
        test.exitCode = null;
        canvas.focus();
        try {
            game.callMain([]);
        } catch (error) {
            if (error && error.name !== 'ExitStatus') GameFailed(String(error));
        }
    }

    function PlayAgain() {
        ShowNotice('The Flurber', 'Getting ready\u2026');
        MakeGame().then(function (instance) {
            game = instance;
            Play();
        });
    }

    // --- Fitting the picture, full screen ---

    function Layout() {
        var box = stage.getBoundingClientRect();
        var ratio = window.devicePixelRatio || 1;
        var scale = Math.min(box.width * ratio / PictureWidth, box.height * ratio / PictureHeight);
        // In a window the picture takes the largest whole multiple of its size that fits, full
        // screen all of the screen; whole multiples keep every pixel an exact square.
        var whole = Math.floor(scale + 1e-6);
        if (!document.fullscreenElement && whole >= 1) scale = whole;
        var sharp = Math.abs(scale - Math.round(scale)) < 1e-6;
        pictureBox.style.width = PictureWidth * scale / ratio + 'px';
        pictureBox.style.height = PictureHeight * scale / ratio + 'px';
        canvas.classList.toggle('sharp', sharp);
        var multiple = sharp || scale < 1 ? 0 : Math.ceil(scale);
        if (multiple !== enlargedBy) {
            enlargedBy = multiple;
            enlarged.hidden = multiple === 0;
            if (multiple > 0) {
                enlarged.width = PictureWidth * multiple;
                enlarged.height = PictureHeight * multiple;
                enlargedContext = enlarged.getContext('2d', {alpha: false});
                enlargedContext.imageSmoothingEnabled = false;
                Enlarge(0, PictureHeight);
            }
        }
        test.scale = scale;
    }

    function Enlarge(first, end) {
        if (enlargedBy === 0) return;
        enlargedContext.drawImage(canvas, 0, first, PictureWidth, end - first, 0,
                                  first * enlargedBy, PictureWidth * enlargedBy,
                                  (end - first) * enlargedBy);
    }

    function ToggleFullscreen() {
        if (document.fullscreenElement) {
            document.exitFullscreen().catch(function () {});
        } else if (stage.requestFullscreen) {
            stage.requestFullscreen().then(function () {
                // Escape is one of the game's keys: where the browser lets the page have it, a
                // long press of it leaves full screen instead.
                if (navigator.keyboard && navigator.keyboard.lock) {
                    navigator.keyboard.lock(['Escape']).catch(function () {});
                }
            }, function () {});
        }
    }

    // --- The tests' view ---

    window.flurber = {
        get state() {
            if (test.state !== 'running' || !game) return test.state;
            var mode = game._flurber_game_mode();
            return mode === 1 ? 'menu' : mode === 2 ? 'playing' : 'running';
        },
        get frames() { return test.frames; },
        get startedAt() { return test.startedAt; },
        get firstFrameAt() { return test.firstFrameAt; },
        get exitCode() { return test.exitCode; },
        get problem() { return test.problem; },
        get message() { return test.message; },
        get fullscreen() { return !!document.fullscreenElement; },
        get scale() { return test.scale; },
        // The game's module ready to start or running (its FS, for a test to change a file).
        get module() { return game; },
        // The display refresh each flipped frame went out on (requestAnimationFrame's timestamp),
        // from frame `from` on.
        frameTimes: function (from) {
            return Kept(test.frameTimes, from);
        },
        // performance.now() as each flipped frame was put on the canvas.
        presentTimes: function (from) {
            return Kept(test.presentTimes, from);
        },
        // The main thread's milliseconds from each refresh the game woke on to its next wait.
        frameWork: function (from) {
            return Kept(test.frameWork, from);
        },
        // The canvas's pixels as 0xRRGGBB numbers, row by row.
        readCanvas: function () {
            var data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            var pixels = new Array(canvas.width * canvas.height);
            for (var i = 0; i < pixels.length; ++i) {
                pixels[i] = (data[i * 4] << 16) | (data[i * 4 + 1] << 8) | data[i * 4 + 2];
            }
            return {width: canvas.width, height: canvas.height, pixels: pixels};
        },
        toggleFullscreen: ToggleFullscreen,
        closeMessage: function () { if (closeMessage) closeMessage(); },
        audio: AudioTap()
    };

    function Kept(ring, from) {
        var out = [];
        for (var i = Math.max(from || 0, test.frames - FrameTimesKept); i < test.frames; ++i) {
            out.push(ring[i % FrameTimesKept]);
        }
        return out;
    }

    // What the page plays, recorded where SDL's node hands it to the browser's output.
    function AudioTap() {
        var recorder = null;
        var left = [];
        var right = [];
        function Sdl() {
            return game && game.SDL2 && game.SDL2.audio ? game.SDL2 : null;
        }
        return {
            get state() {
                var sdl = game && game.SDL2;
                return sdl && sdl.audioContext ? sdl.audioContext.state : 'none';
            },
            get sampleRate() {
                var sdl = game && game.SDL2;
                return sdl && sdl.audioContext ? sdl.audioContext.sampleRate : 0;
            },
            start: function () {
                var sdl = Sdl();
                if (!sdl || recorder) return !!recorder;
                left = [];
                right = [];
                var context = sdl.audioContext;
                recorder = context.createScriptProcessor(4096, 2, 2);
                recorder.onaudioprocess = function (event) {
                    left.push(new Float32Array(event.inputBuffer.getChannelData(0)));
                    right.push(new Float32Array(event.inputBuffer.getChannelData(1)));
                    // Silent itself: the sound reaches the output once, straight from SDL's node.
                    event.outputBuffer.getChannelData(0).fill(0);
                    event.outputBuffer.getChannelData(1).fill(0);
                };
                sdl.audio.scriptProcessorNode.connect(recorder);
                recorder.connect(context.destination);
                return true;
            },
            stop: function () {
                if (!recorder) return;
                try {
                    game.SDL2.audio.scriptProcessorNode.disconnect(recorder);
                } catch (gone) {
                }
                recorder.disconnect();
                recorder = null;
            },
            get recordedFrames() {
                return left.reduce(function (sum, block) { return sum + block.length; }, 0);
            },
            // The level of what was recorded in windows of this many milliseconds, in dB below
            // full scale (-Infinity for digital silence), both channels together.
            levels: function (windowMs) {
                var rate = this.sampleRate || 48000;
                var size = Math.max(1, Math.round(rate * windowMs / 1000));
                var out = [];
                var sum = 0;
                var count = 0;
                for (var b = 0; b < left.length; ++b) {
                    for (var i = 0; i < left[b].length; ++i) {
                        sum += left[b][i] * left[b][i] + right[b][i] * right[b][i];
                        if (++count === size) {
                            out.push(10 * Math.log10(sum / (2 * size)));
                            sum = 0;
                            count = 0;
                        }
                    }
                }
                return out;
            }
        };
    }

    // --- The page itself ---

    function Setup() {
        stage = document.getElementById('stage');
        pictureBox = document.getElementById('picture');
        canvas = document.getElementById('canvas');
        enlarged = document.getElementById('enlarged');
        cover = document.getElementById('cover');
        title = document.getElementById('title');
        heading = document.getElementById('notice-heading');
        noticeText = document.getElementById('notice-text');
        progress = document.getElementById('progress');
        progressBar = document.getElementById('progress-bar');
        progressText = document.getElementById('progress-text');
        actions = document.getElementById('notice-actions');
        message = document.getElementById('message');
        messageCaption = document.getElementById('message-caption');
        messageText = document.getElementById('message-text');
        messageOk = document.getElementById('message-ok');
        fullscreenButton = document.getElementById('fullscreen');

        canvas.tabIndex = 0;
        messageOk.addEventListener('click', function () {
            if (closeMessage) closeMessage();
        });
        fullscreenButton.addEventListener('mousedown', function (event) {
            event.preventDefault();  // the game keeps the keyboard
        });
        fullscreenButton.addEventListener('click', ToggleFullscreen);
        document.addEventListener('fullscreenchange', Layout);
        window.addEventListener('resize', Layout);
        window.addEventListener('keydown', function (event) {
            if (message.hidden) {
                if (test.state !== 'running') return;
                if (KeysKeptFromBrowser[event.key]) event.preventDefault();
                // In the key's own handler: Firefox allows full screen nowhere else. The game
                // sees the chord too, and keeps its Return from the room.
                if (event.key === 'Enter' && event.altKey && !event.repeat) ToggleFullscreen();
                return;
            }
            // The message box has the keyboard: Return, Space and Escape close it.
            if (event.key === 'Enter' || event.key === ' ' || event.key === 'Escape') {
                event.preventDefault();
                event.stopImmediatePropagation();
                if (closeMessage) closeMessage();
            }
        }, true);
        window.addEventListener('error', function (event) {
            if (test.state === 'running') GameFailed(event.message || 'unknown error');
        });
        Layout();

        if (location.protocol === 'file:') {
            ShowProblem('This page was opened from a file on the disk, and browsers don\u2019t let ' +
                'such a page load the game\u2019s files. Put this folder on a web server (any ' +
                'static host will do), or run \u201cpython3 -m http.server\u201d in it and open ' +
                'http://127.0.0.1:8000/ instead.');
            return;
        }
        if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
            ShowProblem('This browser can\u2019t run the game: it has no WebAssembly (or it is ' +
                'switched off). A current Chrome, Chromium, Edge, Firefox or Safari plays it.');
            return;
        }
        if (typeof DecompressionStream !== 'function' || !window.flurberFiles) {
            ShowProblem(!window.flurberFiles
                ? 'The page is incomplete: its list of files (files.js) is missing.'
                : 'This browser is too old for the game (it can\u2019t unpack its files). A ' +
                  'current Chrome, Chromium, Edge, Firefox or Safari plays it.');
            return;
        }
        if (!window.AudioContext && !window.webkitAudioContext) {
            noSound = true;
        }
        Start();
    }

    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', Setup);
    } else {
        Setup();
    }
})();
