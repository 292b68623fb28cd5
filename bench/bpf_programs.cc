#include "bpf_programs.h"

#include <bit>
#include <cstdint>
#include <stdexcept>

namespace vexfilt::bench {
namespace {

// A straight-line program with forward jumps to labels, resolved into BPF's 8-bit offsets.
class Assembler {
 public:
  using Label = int;
  Label NewLabel() {
    labels_.push_back(-1);
    return static_cast<Label>(labels_.size() - 1);
  }
  void Bind(Label label) { labels_[static_cast<std::size_t>(label)] = static_cast<int>(code_.size()); }
  void Load(std::uint16_t size, std::uint32_t offset) { Emit(BPF_LD | size | BPF_ABS, offset); }
  void Return(std::uint32_t value) { Emit(BPF_RET | BPF_K, value); }
  // Jumps to `onTrue` when A <op> k holds, else to `onFalse`; kNext continues with the next instruction.
  static constexpr Label kNext = -1;
  void Jump(std::uint16_t op, std::uint32_t k, Label onTrue, Label onFalse) {
    jumps_.push_back({static_cast<int>(code_.size()), onTrue, onFalse});
    Emit(BPF_JMP | op | BPF_K, k);
  }
  std::vector<bpf_insn> Finish() {
    for (const PendingJump& j : jumps_) {
      bpf_insn& insn = code_[static_cast<std::size_t>(j.at)];
      insn.jt = Offset(j.at, j.onTrue);
      insn.jf = Offset(j.at, j.onFalse);
    }
    if (bpf_validate(code_.data(), static_cast<int>(code_.size())) == 0) throw std::logic_error("invalid BPF program");
    return code_;
  }

 private:
  struct PendingJump {
    int at;
    Label onTrue, onFalse;
  };
  void Emit(std::uint16_t code, std::uint32_t k) { code_.push_back(bpf_insn{code, 0, 0, k}); }
  std::uint8_t Offset(int from, Label to) const {
    if (to == kNext) return 0;
    const int distance = labels_[static_cast<std::size_t>(to)] - from - 1;
    if (distance < 0 || distance > 255) throw std::logic_error("BPF jump out of range");
    return static_cast<std::uint8_t>(distance);
  }
  std::vector<bpf_insn> code_;
  std::vector<int> labels_;
  std::vector<PendingJump> jumps_;
};

// Four bytes of text as the big-endian word BPF loads them as.
constexpr std::uint32_t Word(const char (&text)[5]) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(text[2])) << 8 | static_cast<std::uint8_t>(text[3]);
}

constexpr std::uint32_t kAccept = kRecordLength;  // a non-zero return keeps the record

}  // namespace

std::vector<bpf_insn> BpfProgramOf(Predicate p, const ProcessTable& table) {
  Assembler a;
  const auto accept = a.NewLabel(), reject = a.NewLabel();
  const auto next = Assembler::kNext;
  switch (p) {
    case Predicate::kP1:
      a.Load(BPF_W, kCpuOffset);
      a.Jump(BPF_JGT, 90, accept, reject);
      break;
    case Predicate::kP2: {
      const auto memHolds = a.NewLabel(), lowWord = a.NewLabel();
      const auto bits = std::bit_cast<std::uint64_t>(1000.0);
      const auto high = static_cast<std::uint32_t>(bits >> 32), low = static_cast<std::uint32_t>(bits);
      a.Load(BPF_W, kCpuOffset);
      a.Jump(BPF_JGT, 50, next, reject);
      a.Load(BPF_W, kMemOffset);
      a.Jump(BPF_JGT, high, reject, next);
      a.Jump(BPF_JEQ, high, lowWord, memHolds);
      a.Bind(lowWord);
      a.Load(BPF_W, kMemOffset + 4);
      a.Jump(BPF_JGE, low, reject, memHolds);
      a.Bind(memHolds);
      a.Load(BPF_W, kNameOffset);
      a.Jump(BPF_JEQ, Word("java"), next, reject);
      for (std::int32_t at = kNameOffset + 4; at < kNameOffset + kNameLength; at += 4) {
        a.Load(BPF_W, static_cast<std::uint32_t>(at));
        a.Jump(BPF_JEQ, Word("    "), next, reject);
      }
      a.Return(kAccept);
      break;
    }
    case Predicate::kP3:
      a.Load(BPF_W, kNameOffset);
      a.Jump(BPF_JEQ, Word("java"), accept, reject);
      break;
    case Predicate::kP4: {
      a.Load(BPF_W, kPidOffset);
      const auto pids = WantedPids(table);
      for (std::size_t i = 0; i < pids.size(); ++i) {
        a.Jump(BPF_JEQ, static_cast<std::uint32_t>(pids[i]), accept, i + 1 < pids.size() ? next : reject);
      }
      break;
    }
    case Predicate::kP5:
    case Predicate::kP6:
    case Predicate::kP7: {
      if (p == Predicate::kP7) {
        a.Load(BPF_W, kCpuOffset);
        a.Jump(BPF_JGT, 90, accept, next);
      }
      // At least four bytes, "root", then blanks up to the length.
      a.Load(BPF_H, kUserOffset);
      a.Jump(BPF_JGE, 4, next, reject);
      a.Load(BPF_W, kUserOffset + 2);
      a.Jump(BPF_JEQ, Word("root"), next, reject);
      for (std::uint32_t k = 4; k < kUserCapacity; ++k) {
        a.Load(BPF_H, kUserOffset);
        a.Jump(BPF_JGT, k, next, accept);
        a.Load(BPF_B, kUserOffset + 2 + k);
        a.Jump(BPF_JEQ, ' ', next, reject);
      }
      a.Return(kAccept);
      break;
    }
  }
  a.Bind(accept);
  a.Return(kAccept);
  a.Bind(reject);
  a.Return(0);
  return a.Finish();
}

}  // namespace vexfilt::bench
