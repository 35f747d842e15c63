// zx8xwav: converts a ZX81 or ZX80 program image into a WAV file of its cassette-tape signal.
//
// The driver runs one conversion as a flat sequence of steps: arguments, loading, target and
// names, the whole signal in memory, then the file. Each step that fails reports one "ERROR: "
// line on standard error and ends the run with status 1. The output is written only once the
// whole signal exists, and it replaces an earlier file only when it is complete.

#include <cstdio>
#include <new>

#include "conversion.h"
#include "image/detect.h"
#include "image/file_names.h"
#include "options.h"
#include "tape/estimate.h"
#include "tape/name_block.h"
#include "tape/signal.h"
#include "tape/tape.h"
#include "wav/output_file.h"
#include "wav/wav_stream.h"
#include "wav/wav_writer.h"

namespace {

// Reports a fatal error on standard error, after the progress lines printed so far.
template <typename... Args>
int Fail(const char* format, Args... args)
{
    fflush(stdout);
    if constexpr (sizeof...(args) == 0) {
        fputs(format, stderr);
    } else {
        fprintf(stderr, format, args...);
    }
    return 1;
}

enum LoadResult { LOAD_OK, LOAD_READ_ERROR, LOAD_TOO_LARGE };

// Reads the whole input into pFile and sets *pfile_size to the bytes read. A file longer than
// the largest image is refused rather than cut, which would put a corrupted program on tape.
LoadResult LoadImage(FILE* rdfile, int* pfile_size)
{
    const size_t read = fread(pFile.get(), 1, MAX_P_FILE_SIZE, rdfile);
    *pfile_size = static_cast<int>(read);
    if (ferror(rdfile) != 0) return LOAD_READ_ERROR;
    if (read == MAX_P_FILE_SIZE && fgetc(rdfile) != EOF) return LOAD_TOO_LARGE;
    return ferror(rdfile) != 0 ? LOAD_READ_ERROR : LOAD_OK;
}

// Sets targetFormat from the image's system variables, if it is recognised.
void DetectFormat(int pfile_size)
{
    const TargetFormat detected = DetectTarget(pFile.get(), pfile_size);
    if (detected == TARGET_UNKNOWN) return;
    if (verbose) printf("Input file is %s format\n", detected == TARGET_ZX81 ? "ZX81" : "ZX80");
    targetFormat = detected;
}

}  // namespace

/// Releases the input buffer and the sample buffer if they are held.
void FreeMem()
{
    pFile.reset();
    ReleaseSampleBuffer();
}

int main(int argc, char** argv)
{
    // A program started with an empty argument vector still has a name to show.
    const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "zx8xwav";
    if (argc < 2) {
        PrintUsage(program_name);
        return 1;
    }

    zxFileName.clear();
    const int namearg = HandleOptions(argc, argv);
    if (argc > namearg + 1) {  // no file argument, or arguments after it
        Fail("ERROR: Invalid number of arguments\n");
        PrintUsage(program_name);
        return 1;
    }
    const char* infilename = argv[namearg];

    pFile.reset(new (std::nothrow) uint8_t[MAX_P_FILE_SIZE]);
    if (!pFile) return Fail("ERROR: Out of memory\n");

    if (verbose) printf("Input file name  :  %s\n", infilename);
    FILE* rdfile = fopen(infilename, "rb");
    if (rdfile == nullptr) return Fail("ERROR: Can not read file %s\n", infilename);
    int pfile_size = 0;
    const LoadResult loaded = LoadImage(rdfile, &pfile_size);
    fclose(rdfile);
    if (loaded == LOAD_READ_ERROR) return Fail("ERROR: Can not read file %s\n", infilename);
    if (loaded == LOAD_TOO_LARGE) {
        return Fail("ERROR: Input file %s is too large (more than %d bytes)\n", infilename,
                    MAX_P_FILE_SIZE);
    }
    if (verbose) printf("Input file has size of %d bytes\n", pfile_size);

    if (targetFormat == TARGET_UNKNOWN) DetectFormat(pfile_size);
    TransferFileNames(infilename);
    // A ZX80 tape carries no name, so it needs none.
    if (zxFileName.empty() && targetFormat != TARGET_ZX80) {
        return Fail("ERROR: Invalid zx file name\n");
    }
    if (NameTheSameFile(infilename, outFileName)) {
        return Fail("ERROR: Output file %s would overwrite the input file\n", outFileName.c_str());
    }
    if (verbose) {
        printf("Output file name : %s\n", outFileName.c_str());
        printf("ZX file name     : %s\n", zxFileName.c_str());
    }

    // The name is checked before anything is allocated, created or started; its failure is
    // reported where the name block would have been emitted, after the estimate.
    char bad_char = 0;
    const bool name_fits = targetFormat == TARGET_ZX80 || TapeNameHasCodes(zxFileName, &bad_char);
    const double maxdur = EstimateWavDuration(pFile.get(), pfile_size);
    if (verbose) printf("Estimated duration of wav output: %f seconds\n", maxdur);
    if (!name_fits) return Fail("ERROR: ZX Filename contains invalid character '%c'\n", bad_char);
    if (!AllocateSampleBuffer(SampleBufferSize(maxdur))) return Fail("ERROR: Out of  memory\n");

    // The output is opened first, so that a temporary file can take the samples while they are
    // made; whether it could be opened is reported where it always was, after the signal.
    OutputFile output;
    const bool opened = OpenOutputFile(outFileName, &output);
    WavStream stream;
    const bool streaming =
        opened && !output.TempPath.empty() && StartWavStream(&stream, output.Stream, wavFile.get());

    const bool taped = OutputTape(pFile.get(), pfile_size, &bad_char);
    if (!taped || wavOverflow) {
        if (streaming) AbandonWavStream(&stream);
        if (opened) CloseOutputFile(&output, false);
        if (!taped) return Fail("ERROR: ZX Filename contains invalid character '%c'\n", bad_char);
        // The estimate leaves thousands of samples to spare; running out would be a bug.
        return Fail("ERROR: Internal error: the signal does not fit its buffer\n");
    }
    if (verbose) printf("Output wav file has %d bytes\n", static_cast<int>(wavCounter));

    if (!opened) return Fail("ERROR: Can not open output file %s\n", outFileName.c_str());
    const bool written = streaming ? FinishWavStream(&stream, wavCounter)
                                   : WriteWavFile(output.Stream, wavFile.get(), wavCounter);
    // A short WAV would look like a tape that fails to load: it never takes an earlier's place.
    if (!CloseOutputFile(&output, written)) {
        return Fail("ERROR: Can not write output file %s\n", outFileName.c_str());
    }

    if (verbose) printf("Done.\n");
    FreeMem();
    return 0;
}
