# A 32-bit (x86) library named nnotes.dll, as a 32-bit client installs one:
# the 64-bit program must pass it over. Its entry would only report success.
.text
.globl entry
entry:
  movl $1, %eax
  ret $12
