# Whether this machine can run the shipped 32-bit cleaner under Wine. Sourced,
# not run.

# kernel_runs_i386: true when the kernel runs a 32-bit (i386) program; when it
# does not, prints why on one line. The program is made here from three
# instructions (exit(0) through int 0x80), so the answer does not depend on
# any 32-bit library being installed.
kernel_runs_i386() {
  local dir rc=0
  for tool in as ld; do
    command -v "$tool" >/dev/null || { echo "cannot probe for 32-bit code: $tool is not installed (package binutils)"; return 1; }
  done
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n  movl $1, %%eax\n  xorl %%ebx, %%ebx\n  int $0x80\n' > "$dir/probe.s"
  if ! as --32 -o "$dir/probe.o" "$dir/probe.s" 2>"$dir/err" || ! ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>>"$dir/err"; then
    echo "cannot probe for 32-bit code: the probe did not assemble: $(tr '\n' ' ' < "$dir/err")"
    rm -rf "$dir"
    return 1
  fi
  "$dir/probe" 2>/dev/null || rc=$?
  rm -rf "$dir"
  [ "$rc" = 0 ] && return 0
  echo "this machine's kernel does not run 32-bit (i386) programs: a static i386 program could not be run (exit code $rc)"
  return 1
}
