// Linked into every test program of the 32-bit PowerPC build, which runs under qemu-ppc. The C library's maths
// (sin, cos, sincos) saves and sets the rounding mode with the FPSCR moves of Power ISA 3.0 (mffscrn, mffsl, ...),
// relying on older processors executing them as a plain mffs, and then sets the mode itself where the processor
// lacks ISA 3.0. qemu-ppc offers no 32-bit processor with ISA 3.0 and rejects these forms as illegal; this
// handler does what the older processors do: it puts the FPSCR into the target register and goes on.
#if defined(__powerpc__) && !defined(__powerpc64__)
#include <signal.h>
#include <ucontext.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kPrimaryFloat = 63, kMoveFromFpscr = 583; // opcode and extended opcode of the mffs family
constexpr int kNextInstruction = 32;                         // PT_NIP: index of the program counter in gregs

void MoveFromFpscr(int, siginfo_t *, void *context)
{
    mcontext_t *m = static_cast<ucontext_t *>(context)->uc_mcontext.uc_regs;
    unsigned instruction;
    std::memcpy(&instruction, reinterpret_cast<const void *>(m->gregs[kNextInstruction]), sizeof instruction);
    if (instruction >> 26 != kPrimaryFloat || ((instruction >> 1) & 0x3FF) != kMoveFromFpscr)
        std::abort(); // a truly illegal instruction
    m->fpregs.fpregs[(instruction >> 21) & 31] = m->fpregs.fpscr;
    m->gregs[kNextInstruction] += 4;
}

const bool g_installed = [] {
    struct sigaction action{};
    action.sa_sigaction = MoveFromFpscr;
    action.sa_flags = SA_SIGINFO;
    return sigaction(SIGILL, &action, nullptr) == 0;
}();

} // namespace
#endif
