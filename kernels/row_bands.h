#pragma once
// Running the rows of an image operation in bands on worker threads.
//
// The rows are split into one band per worker (Rows / Workers each, the last
// band taking the rest); each band runs on its own worker thread of a
// TIEThreadPool, and the calling thread waits for all of them.  A band only
// writes its own rows, so results do not depend on the number of workers.
// Progress never reaches a handler from a worker: band 0 publishes its value
// and the waiting calling thread reports it.
#include <cstdint>
#include <functional>
#include <vector>

#include "foundations/image_buffer.h"

// The body of one band: Index (0-based), the first row and the row count, and
// Publish, through which band 0 hands out progress values.
using TIEBandBody = std::function<void(int32_t Index, int32_t Start, int32_t Count,
                                       const std::function<void(int32_t)>& Publish)>;

// Workers for a pass over Source: 1 when its rows live in a temporary file
// (one shared row buffer), Requested when above 0, else one per core.
int32_t IEBandWorkerCount(TIEBitmap* Source, int32_t Requested);

// Runs Body over Rows rows in Workers bands.  Report, when set, receives the
// values band 0 published, in the calling thread, each once.  With one worker
// the band runs in the calling thread.
void IERunRowBands(int32_t Rows, int32_t Workers, const TIEBandBody& Body,
                   const std::function<void(int32_t)>& Report);

// Every row of an image at once, for kernels that read many rows together:
// the rows themselves for an image in memory or a platform bitmap, leased
// copies for one in a temporary file (which maps one row at a time).
struct TIEAllRows {
  std::vector<TIERowLease> Leases;
  std::vector<const uint8_t*> Rows;
  explicit TIEAllRows(TIEBitmap* B);
};
