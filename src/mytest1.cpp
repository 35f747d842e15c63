// zx8xwav: converts a ZX81 or ZX80 program image, or a tape file holding several (.p81, TZX),
// into a WAV file of its cassette-tape signal.
//
// The driver runs one conversion as a flat sequence of steps: arguments, loading, target and
// names, the whole signal in memory, then the file. Each step that fails reports one "ERROR: "
// line on standard error and ends the run with status 1. The output is written only once the
// whole signal exists, and it replaces an earlier file only when it is complete.

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "conversion.h"
#include "image/detect.h"
#include "image/file_names.h"
#include "image/tape_file.h"
#include "options.h"
#include "tape/estimate.h"
#include "tape/name_block.h"
#include "tape/signal.h"
#include "tape/tape.h"
#include "wav/output_file.h"
#include "wav/wav_stream.h"
#include "wav/wav_writer.h"

void FreeMem();

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

/// Largest tape file (.p81, TZX) read, in bytes: a TZX may hold long recordings.
constexpr size_t MAX_TAPE_FILE_SIZE = size_t{64} << 20;

// Reads the whole input, up to MAX_TAPE_FILE_SIZE bytes. A longer file is refused rather than
// cut, which would put a corrupted program on tape.
LoadResult LoadInput(FILE* rdfile, std::vector<uint8_t>* data)
{
    data->resize(MAX_P_FILE_SIZE);
    size_t read = fread(data->data(), 1, data->size(), rdfile);
    while (read == data->size() && data->size() <= MAX_TAPE_FILE_SIZE && ferror(rdfile) == 0) {
        data->resize(data->size() * 2 > MAX_TAPE_FILE_SIZE + 1 ? MAX_TAPE_FILE_SIZE + 1
                                                               : data->size() * 2);
        read += fread(data->data() + read, 1, data->size() - read, rdfile);
    }
    data->resize(read);
    if (ferror(rdfile) != 0) return LOAD_READ_ERROR;
    return read > MAX_TAPE_FILE_SIZE ? LOAD_TOO_LARGE : LOAD_OK;
}

// Sets targetFormat from the image's system variables, if it is recognised.
void DetectFormat(int pfile_size)
{
    const TargetFormat detected = DetectTarget(pFile.get(), pfile_size);
    if (detected == TARGET_UNKNOWN) return;
    if (verbose) printf("Input file is %s format\n", detected == TARGET_ZX81 ? "ZX81" : "ZX80");
    targetFormat = detected;
}

// Opens the output, has `emit` make the whole signal in the sample buffer and writes it as the
// WAV file. `emit` gets a place for the tape-name character without a code and says whether the
// signal was made. The exit status.
template <typename Emit>
int WriteOutput(Emit emit)
{
    // The output is opened first, so that a temporary file can take the samples while they are
    // made; whether it could be opened is reported where it always was, after the signal.
    OutputFile output;
    const bool opened = OpenOutputFile(outFileName, &output);
    WavStream stream;
    const bool streaming =
        opened && !output.TempPath.empty() && StartWavStream(&stream, output.Stream, wavFile.get());

    char bad_char = 0;
    const bool taped = emit(&bad_char);
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

// Reads a tape file into *tape; the exit status of a failure, or 0.
int ReadTapeFile(const char* infilename, TapeFileKind kind, const std::vector<uint8_t>& data,
                 TapeFile* tape)
{
    if (kind == TAPE_FILE_T81) {
        return Fail(
            "ERROR: %s is a .t81 file, a format no document describes: save its programs as "
            ".p or .p81 files\n",
            infilename);
    }
    const bool read = kind == TAPE_FILE_TZX ? ReadTzx(data.data(), data.size(), tape)
                                            : ReadP81(data.data(), data.size(), false, tape);
    if (!read) return Fail("ERROR: %s: %s\n", infilename, tape->Error.c_str());
    if (ProgramCount(*tape) == 0) {
        return Fail("ERROR: %s holds no ZX81 or ZX80 program\n", infilename);
    }
    return 0;
}

// The progress line of each part that has one, with where it `starts`: programs, and where the
// tape stops.
void PrintParts(const TapeFile& tape, const std::vector<double>& starts)
{
    size_t program = 0;
    for (size_t i = 0; i < tape.Parts.size(); ++i) {
        const TapePart& part = tape.Parts[i];
        if (part.Kind == PART_PROGRAM && part.Machine == TARGET_ZX81) {
            printf("Program %-9zu: ZX81 \"%s\", %zu bytes, at %.3f seconds\n", ++program,
                   PartName(part).c_str(), part.Bytes.size() - part.NameSize, starts[i]);
        } else if (part.Kind == PART_PROGRAM && part.Machine == TARGET_ZX80) {
            printf("Program %-9zu: ZX80, %zu bytes, at %.3f seconds\n", ++program,
                   part.Bytes.size(), starts[i]);
        } else if (part.Kind == PART_PROGRAM) {
            printf(
                "Block %-11d: %zu bytes in the machines' encoding that are no program, at "
                "%.3f seconds\n",
                part.Block, part.Bytes.size(), starts[i]);
        } else if (part.Stop) {
            printf("Block %-11d: the tape stops here: %.0f seconds of silence at %.3f seconds\n",
                   part.Block, part.Seconds, starts[i]);
        }
    }
}

// Converts a tape file: every program with its own name, and every other sound, in order.
int ConvertTapeFile(const char* infilename, TapeFileKind kind, const std::vector<uint8_t>& data)
{
    TapeFile tape;
    if (const int failed = ReadTapeFile(infilename, kind, data, &tape)) return failed;
    if (!zxFileName.empty()) {
        fprintf(stderr, "ERROR: option -z: the programs of a tape file keep their own names\n");
    }
    // A tape of ZX80 programs only is named as a ZX80 program's.
    targetFormat = TARGET_ZX80;
    for (const TapePart& part : tape.Parts) {
        if (part.Kind == PART_PROGRAM && part.Machine != TARGET_ZX80) targetFormat = TARGET_ZX81;
    }
    if (verbose) {
        printf("Input file is a %s tape of %zu programs\n", kind == TAPE_FILE_TZX ? "TZX" : ".p81",
               ProgramCount(tape));
    }
    TransferFileNames(infilename);
    if (NameTheSameFile(infilename, outFileName)) {
        return Fail("ERROR: Output file %s would overwrite the input file\n", outFileName.c_str());
    }
    const std::vector<double> starts = TapePartStarts(tape);
    if (verbose) {
        printf("Output file name : %s\n", outFileName.c_str());
        PrintParts(tape, starts);
    }
    const double maxdur = starts.back() + Signal.ExtroDuration + 0.1;
    if (verbose) printf("Estimated duration of wav output: %f seconds\n", maxdur);
    if (!AllocateSampleBuffer(SampleBufferSize(maxdur))) return Fail("ERROR: Out of  memory\n");
    return WriteOutput([&tape](char*) {
        OutputTapeFile(tape);
        return true;
    });
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

    if (verbose) printf("Input file name  :  %s\n", infilename);
    FILE* rdfile = fopen(infilename, "rb");
    if (rdfile == nullptr) return Fail("ERROR: Can not read file %s\n", infilename);
    std::vector<uint8_t> data;
    const LoadResult loaded = LoadInput(rdfile, &data);
    fclose(rdfile);
    if (loaded == LOAD_READ_ERROR) return Fail("ERROR: Can not read file %s\n", infilename);
    const TapeFileKind kind = TapeFileKindOf(infilename, data.data(), data.size());
    if (loaded == LOAD_TOO_LARGE || (kind == TAPE_FILE_NONE && data.size() > MAX_P_FILE_SIZE)) {
        return Fail("ERROR: Input file %s is too large (more than %zu bytes)\n", infilename,
                    kind == TAPE_FILE_NONE ? size_t{MAX_P_FILE_SIZE} : MAX_TAPE_FILE_SIZE);
    }
    const int pfile_size = static_cast<int>(data.size());
    if (verbose) printf("Input file has size of %d bytes\n", pfile_size);
    if (kind != TAPE_FILE_NONE) return ConvertTapeFile(infilename, kind, data);

    pFile.reset(new (std::nothrow) uint8_t[MAX_P_FILE_SIZE]);
    if (!pFile) return Fail("ERROR: Out of memory\n");
    std::copy(data.begin(), data.end(), pFile.get());

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
    return WriteOutput(
        [pfile_size](char* bad) { return OutputTape(pFile.get(), pfile_size, bad); });
}
