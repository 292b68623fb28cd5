// The predicates as classic BPF programs for libpcap's bpf_filter, over the big-endian copy of the records
// (BigEndianCopy): BPF loads integers big-endian and has no floating point.
#ifndef VEXFILT_BENCH_BPF_PROGRAMS_H_
#define VEXFILT_BENCH_BPF_PROGRAMS_H_

#include <pcap/pcap.h>  // bpf.h, with the BSD integer types it relies on

#include <vector>

#include "process_table.h"

namespace vexfilt::bench {

// The program of a predicate, accepted by bpf_validate. What BPF cannot say exactly it says for this table:
// its comparisons are unsigned, which holds for CPU (0..100); MEM < 1000.0 compares the double's bits, which
// order as the values do for the non-negative MEM of these records; USER's blank padding is checked byte by
// byte up to the 26-byte capacity, which every USER length of these records respects.
std::vector<bpf_insn> BpfProgramOf(Predicate p, const ProcessTable& table);

}  // namespace vexfilt::bench

#endif  // VEXFILT_BENCH_BPF_PROGRAMS_H_
