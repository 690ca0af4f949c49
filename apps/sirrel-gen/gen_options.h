// Command line of sirrel-gen.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "../common/option_table.h"
#include "siggen/arq_source.h"
#include "siggen/arqm_source.h"
#include "siggen/async_source.h"
#include "siggen/generator.h"
#include "siggen/seven_bit.h"

namespace sirrel::siggen {

struct GenOptions {
    std::string output;
    bool haveOutput = false;
    std::optional<std::string> text;
    std::string mode = "ita2";
    Parity parity = Parity::kNone;
    std::optional<double> stopBits;
    int arqmChannels = 2;
    ArqmSource::Version arqmVersion = ArqmSource::Version::kV342;
    std::vector<std::string> channelTexts;
    SevenBitSet sevenBitSet = SevenBitSet::kCcir476;
    int charsInCycle = 3;
    int cycleLength = 45;
    ArqGap arqGap = ArqGap::kReversals;
    int invertingRate = 0;
    std::optional<int> phasing;
    int repeatEvery = 0;
    int repetitionCycle = 4; // of ARQ, or of each ARQ-M channel
    GeneratorSettings settings;
    bool help = false;
    bool version = false;
    bool man = false;
};

// Every option, its handlers bound to options.
cli::OptionTable GenOptionTable(GenOptions &options);
const cli::ProgramText &GenProgramText();

// The options of a command line; cli::OptionError on a bad one.
GenOptions ParseGenOptions(const std::vector<std::string> &args);

} // namespace sirrel::siggen
