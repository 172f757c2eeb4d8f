#!/usr/bin/env bash
# Exits 0 when this machine's kernel runs 32-bit x86 programs (some kernels
# are built or booted with that emulation off, and then no 32-bit Wine runs).
# Needs only binutils: assembles a program that just exits with 0.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '.globl _start\n_start:\n  movl $1, %%eax\n  xorl %%ebx, %%ebx\n  int $0x80\n' >"$work/exit.s"
as --32 "$work/exit.s" -o "$work/exit.o" 2>/dev/null && ld -m elf_i386 "$work/exit.o" -o "$work/exit" 2>/dev/null || exit 1
"$work/exit" 2>/dev/null
