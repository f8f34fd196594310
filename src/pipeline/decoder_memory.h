// Memory for the LZMA decoders.
//
// The threaded decoder takes and frees buffers of a block's size (megabytes) for every block.
// Through the C heap such blocks stay with the process once freed: glibc raises its mapping
// threshold when the first one goes back and serves the later ones from its arenas, which keep
// their pages. The launcher would then carry that memory for as long as the application it
// hosts runs, and more of it with every archive it decodes. Here every block from 1 MiB up comes
// straight from the system and goes back to it when freed; smaller ones use the C heap.
#pragma once

#include <lzma.h>

#include <cstddef>

namespace ferrolan::pipeline {

/// The allocator for every lzma_stream the pipeline decodes with.
const lzma_allocator* DecoderAllocator();

/// How many blocks from the system the allocator holds right now, and how many it has taken
/// since the process started.
std::size_t DecoderLargeBlocksHeld();
std::size_t DecoderLargeBlocksMapped();

}  // namespace ferrolan::pipeline
