// Record layer: every line that seqord and its companion programs read or
// write passes through here.  This header offers the whole layer; each part
// has a header of its own:
//
//   values.h    the 8-character names and fixed texts that records carry
//   layout.h    record descriptions ("(I6,4X,A8)") parsed into a Format, at
//               compile time for the program's own, and the check of a
//               value list's shape against a layout
//   fields.h    the conversions of one field: numbers to text and back
//   streams.h   streams bound to unit numbers, records on files and the
//               console, the fatal conditions and how a run stops
//   transfer.h  value lists moved through layouts, and free-form reads
#pragma once

#include "records/fields.h"
#include "records/layout.h"
#include "records/streams.h"
#include "records/transfer.h"
#include "records/values.h"
