#include "read/reader.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>

#include "read/merge.h"

// A build for the web page has no threads: there every piece of work runs on the caller's.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define ZX8XREAD_THREADS 0
#else
#define ZX8XREAD_THREADS 1
#endif

namespace {

constexpr int64_t FRAMES_PER_READ = 65536;
// The timed view's bursts begin where the comparator first switched, the counted view's where
// its strength rose: up to about this much later, in seconds.
constexpr double TIMED_LEAD_SECONDS = 1e-3;
// Bits sure in both the timed and the filtered view that show whether they agree: enough that a
// few of the filter's own mistakes do not decide.
constexpr size_t TIMED_AGREEING_BITS = 64;

// Fewer frames than this are read on the caller's thread alone: a thread costs more to start
// than they take to read.
constexpr int64_t FRAMES_PER_THREAD = 8192;

// Runs the pieces of work for `frames` frames side by side, each on a thread of its own but the
// first, which runs on the caller's; returns when all are done, throwing what the lowest-numbered
// piece that failed threw. Fewer frames than FRAMES_PER_THREAD, and any piece no thread can be
// started for, run on the caller's thread one after another. The pieces share nothing they change.
void RunTogether(const std::vector<std::function<void()>>& work, int64_t frames)
{
    std::vector<std::exception_ptr> failed(work.size());
    auto run = [&](size_t k) {
        try {
            work[k]();
        } catch (...) {
            failed[k] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::vector<size_t> left;
    const bool together = ZX8XREAD_THREADS && frames >= FRAMES_PER_THREAD;
    for (size_t k = 1; k < work.size(); ++k) {
        if (together) {
            try {
                threads.emplace_back(run, k);
                continue;
            } catch (const std::system_error&) {
            }
        }
        left.push_back(k);
    }
    if (!work.empty()) run(0);
    for (const size_t k : left) run(k);
    for (std::thread& thread : threads) thread.join();
    for (const std::exception_ptr& e : failed) {
        if (e) std::rethrow_exception(e);
    }
}

// Hands the bursts a detector found to its framer, and the silence since, up to sample
// `quiet_until` of `rate` per second.
void FrameFound(std::vector<Burst>* found, int64_t quiet_until, double rate, Framer* framer)
{
    for (const Burst& burst : *found) FrameBurst(framer, burst);
    found->clear();
    FrameSilenceUntil(framer, static_cast<double>(quiet_until) / rate);
}

// Frames what every detector has found.
void FrameAllFound(RecordingReader* r)
{
    for (size_t c = 0; c < r->ChannelsRead.size(); ++c) {
        for (size_t view : {FILTERED_VIEW, COMPARED_VIEW}) {
            BurstDetector& d = r->Detectors[2 * c + view];
            FrameFound(&d.Found, d.State.InBurst ? d.State.EntrySample : d.Sample, r->Rate,
                       &r->Framers[VIEWS * c + view]);
        }
        RunDetector& d = r->Runs[c];
        FrameFound(&d.Found, d.InBurst ? d.Stretches.front().Start : d.Sample, r->Rate,
                   &r->Framers[VIEWS * c + TIMED_VIEW]);
    }
}

// Moves a view's finished blocks to the reader, each marked with the channel it was read from.
void CollectBlocks(RecordingReader* r, size_t view)
{
    for (TapeBlock& block : r->Framers[view].Finished) {
        BlockSource source;
        source.Channel = r->ChannelsRead[view / VIEWS];
        block.Sources.assign(1, source);
        r->Blocks[view].push_back(std::move(block));
    }
    r->Framers[view].Finished.clear();
}

// A channel's blocks, its views' readings of each stretch combined: one reading of the channel.
// The comparator hears a block only where its pulse counts agree with the lengths: where they
// do not, the signal is not as the machine's (its pauses lie at the middle, or a copy mangled
// it), and the comparator's state in the pauses is left to chance. Its timed view is heard where
// it is, or where its own sure bits agree with the filtered view's wherever both are sure (a copy
// that smears pulses together spoils their counts, not their timing); and only from where the
// comparator or the filtered view found the tape: in the silence before a tape, it follows the
// hiss down and switches on it, and only the other views tell that from the tape by its level.
std::vector<TapeBlock> CombineViews(std::vector<std::vector<TapeBlock>> views, int channel,
                                    const ReaderSettings& settings)
{
    std::vector<TapeBlock>& compared = views[COMPARED_VIEW];
    const auto counted =
        std::stable_partition(compared.begin(), compared.end(), [&](const TapeBlock& block) {
            return block.CountsAgree >= settings.ComparatorCountsAgree;
        });
    std::vector<TapeBlock>& timed = views[TIMED_VIEW];
    for (TapeBlock& block : timed) {
        auto overlaps = [&](const TapeBlock& c) {
            return c.Start < block.End && block.Start < c.End;
        };
        const auto heard = std::find_if(compared.begin(), counted, overlaps);
        double from = heard == counted ? 0 : heard->Start;
        bool settled = true;  // the comparator found the tape
        if (heard == counted) {
            // Elsewhere its timing is heard for agreeing with the filtered view, from where the
            // comparator or the filtered view found the tape, whichever was first: a copy that
            // smeared the pulses may spoil every count, so that the comparator finds no tape.
            size_t both = 0;
            if (SureAgreement(block, views[FILTERED_VIEW], &both) < settings.TimedAgreement ||
                both < TIMED_AGREEING_BITS) {
                block.Bits.clear();
                continue;
            }
            const auto found = std::find_if(counted, compared.end(), overlaps);
            const auto filtered =
                std::find_if(views[FILTERED_VIEW].begin(), views[FILTERED_VIEW].end(), overlaps);
            from = filtered == views[FILTERED_VIEW].end() ? block.Start : filtered->Start;
            if (found != compared.end()) from = std::min(from, found->Start);
            settled = found != compared.end();
        }
        from -= TIMED_LEAD_SECONDS;
        const auto first = static_cast<size_t>(
            std::lower_bound(block.Times.begin(), block.Times.end(), from) - block.Times.begin());
        std::vector<bool> keep(block.Bits.size(), true);
        std::fill(keep.begin(), keep.begin() + static_cast<std::ptrdiff_t>(first), false);
        KeepBits(&block, keep);
        // Its first bit began where the comparator first switched, which may be as far into
        // the burst as a 1's lasts while it settled: where the filtered view heard that bit
        // otherwise, or the comparator found no tape, how long the burst was, and so the bit, is
        // in doubt.
        if (!block.Bits.empty() &&
            (!settled || HeardOtherwise(block, 0, views[FILTERED_VIEW], ONE_BURST_SECONDS))) {
            CapMargins(&block, 0, 0.0f);
        }
    }
    timed.erase(std::remove_if(timed.begin(), timed.end(),
                               [](const TapeBlock& block) { return block.Bits.empty(); }),
                timed.end());
    compared.erase(counted, compared.end());
    std::vector<TapeBlock> blocks = MergeViews(std::move(views));
    for (TapeBlock& block : blocks) {
        BlockSource source;
        source.Channel = channel;
        block.Sources.assign(1, source);
    }
    return blocks;
}

}  // namespace

void StartReader(RecordingReader* r, int channels, double rate, const ReaderSettings& settings,
                 FILE* trace, int only)
{
    *r = RecordingReader{};
    r->Channels = channels;
    r->Rate = rate;
    for (int c = 0; c < channels; ++c) {
        if (only == ALL_CHANNELS || c == std::min(only, channels - 1)) r->ChannelsRead.push_back(c);
    }
    const size_t read = r->ChannelsRead.size();
    r->Comparators.resize(read);
    r->Detectors.resize(2 * read);
    r->Runs.resize(read);
    r->Framers.resize(VIEWS * read);
    r->Blocks.resize(VIEWS * read);
    for (size_t c = 0; c < read; ++c) {
        StartComparator(&r->Comparators[c], rate, settings);
        StartRunDetector(&r->Runs[c], rate, settings);
        for (size_t view : {FILTERED_VIEW, COMPARED_VIEW}) {
            StartBurstDetector(&r->Detectors[2 * c + view], rate, settings);
        }
        // The comparator's view is two-level: its pulses are counted exactly.
        r->Detectors[2 * c + COMPARED_VIEW].TwoLevel = true;
    }
    for (size_t v = 0; v < r->Framers.size(); ++v) {
        StartFramer(&r->Framers[v], settings);
        // The trace follows the filtered view, whose decisions it has always shown.
        if (v % VIEWS == FILTERED_VIEW) r->Framers[v].Trace = trace;
        r->Framers[v].Channel = r->ChannelsRead[v / VIEWS];
        r->Framers[v].ExactCounts = v % VIEWS == COMPARED_VIEW;
        r->Framers[v].Timed = v % VIEWS == TIMED_VIEW;
    }
}

void FeedReader(RecordingReader* r, const float* samples, int64_t frames)
{
    const size_t read = r->ChannelsRead.size();
    r->Compared.resize(read * static_cast<size_t>(frames));
    r->Away.resize(read * static_cast<size_t>(frames));
    // Each channel's filtered view is read beside its comparator, and the comparator's two views
    // beside each other once it has run: each detector has its own state and the samples are
    // only read, so the views are what they are when read one after another.
    std::vector<std::function<void()>> views;
    for (size_t c = 0; c < read; ++c) {
        const float* channel = samples + r->ChannelsRead[c];
        float* compared = r->Compared.data() + c * static_cast<size_t>(frames);
        float* away = r->Away.data() + c * static_cast<size_t>(frames);
        views.emplace_back([=] {
            Compare(&r->Comparators[c], channel, frames, r->Channels, compared, away);
            auto counted = [=] {
                FeedBurstDetector(&r->Detectors[2 * c + COMPARED_VIEW], compared, frames, 1);
            };
            auto timed = [=] { FeedRunDetector(&r->Runs[c], away, frames); };
            RunTogether({counted, timed}, frames);
        });
        views.emplace_back([=] {
            FeedBurstDetector(&r->Detectors[2 * c + FILTERED_VIEW], channel, frames, r->Channels);
        });
    }
    RunTogether(views, frames);
    FrameAllFound(r);
    for (size_t v = 0; v < r->Framers.size(); ++v) CollectBlocks(r, v);
    r->Frames += frames;
}

void FinishReader(RecordingReader* r)
{
    for (BurstDetector& detector : r->Detectors) FinishBurstDetector(&detector);
    for (RunDetector& detector : r->Runs) FinishRunDetector(&detector);
    FrameAllFound(r);
    for (size_t v = 0; v < r->Framers.size(); ++v) {
        FinishFramer(&r->Framers[v], static_cast<double>(r->Frames) / r->Rate);
        CollectBlocks(r, v);
    }
    r->Finished = true;
}

std::vector<TapeBlock> TakeBlocks(RecordingReader* r)
{
    // A stretch of tape is complete once no channel can still be reading a block that overlaps
    // it: every channel's block under way (if any) begins after it ends.
    double complete_until = r->Finished ? 1e300 : static_cast<double>(r->Frames) / r->Rate;
    if (!r->Finished) {
        for (const Framer& framer : r->Framers) {
            if (framer.Current.Bits > 0) {
                complete_until = std::min(complete_until, framer.Current.Block.Start);
            }
        }
    }
    std::vector<std::vector<TapeBlock>> ready(r->Blocks.size());
    for (size_t c = 0; c < r->Blocks.size(); ++c) {
        auto& blocks = r->Blocks[c];
        const auto split = std::find_if(blocks.begin(), blocks.end(), [&](const TapeBlock& b) {
            return b.End >= complete_until;
        });
        ready[c].assign(std::make_move_iterator(blocks.begin()), std::make_move_iterator(split));
        blocks.erase(blocks.begin(), split);
    }
    std::vector<std::vector<TapeBlock>> channels;
    for (size_t c = 0; c < r->ChannelsRead.size(); ++c) {
        const auto first = ready.begin() + static_cast<std::ptrdiff_t>(VIEWS * c);
        channels.push_back(
            CombineViews({std::make_move_iterator(first), std::make_move_iterator(first + VIEWS)},
                         r->ChannelsRead[c], r->Framers[0].Settings));
    }
    return channels.size() == 1 ? std::move(channels[0]) : MergeChannels(channels);
}

std::vector<TapeProgram> ProgramsInBlocks(const std::vector<TapeBlock>& blocks,
                                          TargetFormat machine)
{
    std::vector<TapeProgram> programs;
    for (const TapeBlock& block : blocks) {
        for (TapeProgram& program : ProgramsInBlock(block, machine)) {
            programs.push_back(std::move(program));
        }
    }
    return programs;
}

bool OpenReading(const std::string& path, int index, ReadingSession* s, std::string* error,
                 const ReaderSettings& settings, FILE* trace, int only)
{
    if (!OpenRecording(path, &s->File, error)) {
        CloseRecording(&s->File);
        return false;
    }
    StartReader(&s->Reader, s->File.Channels, s->File.Rate, settings, trace, only);
    s->Index = index;
    return true;
}

bool NextBlocks(ReadingSession* s, std::vector<TapeBlock>* blocks)
{
    blocks->clear();
    while (blocks->empty()) {
        if (s->Reader.Finished) return false;
        const int64_t frames = ReadFrames(&s->File, &s->Samples, FRAMES_PER_READ);
        if (frames > 0) {
            FeedReader(&s->Reader, s->Samples.data(), frames);
            if (s->Capture != nullptr) CaptureFrames(s->Capture, s->Samples.data(), frames);
        } else {
            FinishReader(&s->Reader);
        }
        *blocks = TakeBlocks(&s->Reader);
    }
    for (TapeBlock& block : *blocks) {
        for (BlockSource& source : block.Sources) source.Recording = s->Index;
    }
    return true;
}

void CloseReading(ReadingSession* s, RecordingInfo* info)
{
    *info = RecordingInfo{};
    info->Warning = s->File.Truncation;
    info->Rate = s->File.Rate;
    info->Channels = s->File.Channels;
    info->Seconds = s->Reader.Rate > 0 ? static_cast<double>(s->Reader.Frames) / s->Reader.Rate : 0;
    CloseRecording(&s->File);
}

bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, RecordingInfo* info)
{
    ReadingSession session;
    programs->clear();
    if (!OpenReading(path, 0, &session, error)) return false;
    std::vector<TapeBlock> blocks;
    while (NextBlocks(&session, &blocks)) {
        for (TapeProgram& program : ProgramsInBlocks(blocks, machine)) {
            programs->push_back(std::move(program));
        }
    }
    CloseReading(&session, info);
    return true;
}
