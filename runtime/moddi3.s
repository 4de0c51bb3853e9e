| long long __moddi3(long long a, long long b): a % b, whose sign is a's:
| the unsigned remainder of the magnitudes (which __udivdi3 leaves in
| a0:a1), negated when a is negative.
	.file	"moddi3.s"
	.text
	.globl	__moddi3
__moddi3:
	lea	-12(%sp),%sp
	movem.l	%d2-%d4,(%sp)
	movem.l	16(%sp),%d0-%d3		| a in d0:d1, b in d2:d3
	move.l	%d0,%d4			| the remainder's sign
	bpl.s	1f
	neg.l	%d1
	negx.l	%d0
1:	tst.l	%d2
	bpl.s	2f
	neg.l	%d3
	negx.l	%d2
2:	lea	-16(%sp),%sp
	movem.l	%d0-%d3,(%sp)
	jsr	__udivdi3
	lea	16(%sp),%sp
	move.l	%a0,%d0
	move.l	%a1,%d1
	tst.l	%d4
	bpl.s	3f
	neg.l	%d1
	negx.l	%d0
3:	movem.l	(%sp),%d2-%d4
	lea	12(%sp),%sp
	rts
