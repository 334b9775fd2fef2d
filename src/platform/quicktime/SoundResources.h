#pragma once

#include "MacTypes.h"
#include "ResourceFork.h"

#include <QByteArray>

#include <vector>

// Sounds kept the old platform's way, turned into AIFF bytes that the movie layer opens
// like any sound file: the sampled 'snd ' resources of System 7 sound files ('sfil') and
// Sound Designer II files (the samples in the data fork, their format in 'STR '
// resources 1000 to 1002).
namespace SoundResources {

inline constexpr OSType kSoundResourceType = 'snd ';
inline constexpr OSType kStringResourceType = 'STR ';

// Samples and their format; `compression` is an AIFF-C compression type ('NONE' for
// big-endian signed PCM). For compressed data `frames` counts packets, as AIFF-C does.
struct SampledSound {
    int channels = 1;
    int sampleSize = 8; // bits per sample, before compression
    double sampleRate = 22050.0;
    OSType compression = 'NONE';
    UInt32 frames = 0;
    QByteArray data;
};

// The sound of a 'snd ' resource (format 1 or 2): the sound header its first buffer or
// sound command points at, standard, extended or compressed. Throws badFormat naming
// what is wrong for a damaged resource, cantFindHandler for a compression no decoder
// here takes.
SampledSound ParseSoundResource(const QByteArray& resource);

// The format of a Sound Designer II file from its 'STR ' resources 1000 (bytes per
// sample), 1001 (sample rate) and 1002 (channels); its samples, big-endian signed, are
// the data fork (not read here: `data` stays empty). Throws resNotFound without them,
// badFormat for values out of range.
SampledSound SoundDesignerIIFormat(const std::vector<ResourceEntry>& strings);

// An AIFF file (AIFF-C when compressed) holding the sound.
QByteArray WriteAIFF(const SampledSound& sound);

} // namespace SoundResources
