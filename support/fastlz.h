// FastLZ block compression (levels 1 and 2), byte-compatible with the public FastLZ block
// format, for the compressing connectivity paths. Plain C names, so plug-ins can bind them.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Compresses length bytes of input into output and returns the compressed size. output must
// hold at least max(66, length + length / 20 + 1) bytes. Inputs shorter than 16 bytes are
// stored as literals. Level 1 for inputs below 65536 bytes, level 2 from there on.
int fastlz_compress(const void* input, int length, void* output);

// As fastlz_compress with the level chosen. Level 1 is faster: it hurries over data that
// does not compress. Level 2 compresses better: it searches every position and reaches
// matches up to 73727 bytes back. Returns 0 for another level or a length below 1.
int fastlz_compress_level(int level, const void* input, int length, void* output);

// Decompresses a block made by either level into output, which holds maxout bytes. Returns
// the decompressed size, or 0 when the block is malformed, would need more than maxout bytes
// or is cut short; never reads past input + length nor writes past output + maxout.
int fastlz_decompress(const void* input, int length, void* output, int maxout);

#ifdef __cplusplus
}
#endif
