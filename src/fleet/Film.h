#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <string>
#include <vector>

// Films of a camera's good pictures, made by the ffmpeg program (found on the PATH, never
// linked) from a list of the pictures that its concat demuxer reads on standard input,
// so that a day of any number of pictures fits. The film appears under its name only
// when it is complete.

// One picture of a film, as its file says.
struct CFilmFrame {
    std::string m_sFile;
    qint64 m_nTime = 0;  // seconds since 1970, from its journal line
    int m_iChannel = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bPng = false;
};

// What a picture file is: false (with the reason, German) unless it is a regular file
// that begins like a BMP or PNG of a size a camera gives.
bool ReadFilmFrame(const std::string& file, CFilmFrame& frame, std::string& why);

struct CFilmPictures {
    std::vector<CFilmFrame> m_frames;  // in the order the journal took them
    std::vector<std::string> m_notes;  // pictures passed over, and why (German)
    std::vector<int> m_channels;       // the channels with good pictures in the span
    std::string m_sError;              // the journal could not be read (German); empty: read
};

// The good pictures of the channel (0: every channel) whose journal lines lie in
// [from, to), oldest line first. A picture whose file is gone, is no regular file or no
// picture, or is in the other format than the film's first picture (ffmpeg reads one
// format a film) is passed over with a note.
CFilmPictures FilmPictures(const std::string& journal, int channel, qint64 from, qint64 to);

// A name as the concat list quotes it: in single quotes, a quote as '\'', read as a file
// whatever it begins with.
std::string ConcatQuoted(const std::string& path);
// The concat list: each picture for one frame at fps frames a second.
QByteArray ConcatList(const std::vector<CFilmFrame>& frames, int fps);
// The size the film is made in: the first picture's, made even (H.264 in 4:2:0 wants it).
void FilmSize(const CFilmFrame& first, int& width, int& height);

struct CFilmRun {
    std::string m_sFfmpeg = "ffmpeg";  // the program: a name looked for on the PATH, or a path
    int m_nFps = 24;
    // Frames written so far, of all; called as ffmpeg tells (may be empty).
    std::function<void(int done, int total)> m_fnProgress;
    // Asked now and then: true breaks off (ffmpeg is killed, nothing stays behind).
    std::function<bool()> m_fnStop;
};

// Makes the film of the frames (at least one) at output: ffmpeg writes a temporary file
// beside it that takes the name once ffmpeg has finished without an error and the file
// is on the disk; an existing film is replaced only then. False, with the reason
// (German), when ffmpeg is missing, fails or was stopped; nothing is left behind.
bool MakeFilm(const std::vector<CFilmFrame>& frames, const std::string& output, const CFilmRun& run,
              std::string& error);

// The name of a camera's film of a day, as timelapse --sites gives it in the site's folder
// ("film-2026-12-09-k1.mp4"), and whether a name is one.
std::string DayFilmName(const std::string& day, int channel);
bool IsDayFilmName(const std::string& name, int* channel = nullptr);
