#pragma once

#include <string>

#include "Song.h"

// Reads a song score in our own text notation:
//
//   title Groove
//   tempo 95                 beats per minute
//   time 4/4
//   swing 0.62               where the off-beat eighth falls in a beat, for tracks marked swing
//   volume 90                percent, scales every track's volume (to balance songs)
//
//   track lead channel 1 program vibraphone volume 100 pan 80 reverb 50 chorus 0 gate 0.9 swing
//   track drums channel 10 kit 0          (kit: drum-kit program on channel 10)
//
//   pattern lead hook        a melodic pattern: bars between '|', each must fill the bar
//     | v90 e5:8 g a c6:4. r:8 | [c5 e g]:2 g4:4~ g:4 |
//
//   pattern drums beat grid 16     a drum grid: one line per drum, 16 steps a bar
//     kick  | x... ..x. x... .... |
//     snare | .... X... .... x..o |      X accent, x hit, o ghost, '.' nothing
//
//   section A bars 8         each track plays its patterns in turn, repeated to fill the section
//     lead  hook hook+5 rest*2       (+5: five semitones up; rest: a silent bar; *2: twice)
//     drums beat*3 fill
//
//   form A A B A
//
// Notes: a letter a-g, '#' or 'b', an octave digit (c4 = middle C); octave, length and velocity
// carry over to the next notes until changed. Lengths: ':4' quarter, ':8.' dotted eighth,
// ':8t' triplet eighth, ':2+8' tied sum. 'r' is a rest, '[...]' a chord, 'v90' the velocity.
// After a note: '!' accent, '?' soft, "'" staccato, '~' tie into the next note of that pitch.
// A '#' starts a comment only at the start of a word.
bool ParseSong(const std::string& text, Song& song, std::string& error);
