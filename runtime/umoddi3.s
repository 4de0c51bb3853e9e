| unsigned long long __umoddi3(unsigned long long n, unsigned long long d):
| n % d, the remainder that __udivdi3 leaves in a0:a1.
	.file	"umoddi3.s"
	.text
	.globl	__umoddi3
__umoddi3:
	move.l	16(%sp),-(%sp)		| d, low word
	move.l	16(%sp),-(%sp)		| d, high word
	move.l	16(%sp),-(%sp)		| n, low word
	move.l	16(%sp),-(%sp)		| n, high word
	jsr	__udivdi3
	lea	16(%sp),%sp
	move.l	%a0,%d0
	move.l	%a1,%d1
	rts
