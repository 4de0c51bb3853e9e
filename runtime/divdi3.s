| long long __divdi3(long long a, long long b): a / b, rounded towards
| zero: the unsigned quotient of the magnitudes, negated when the signs
| differ. LLONG_MIN / -1, which C leaves undefined, gives LLONG_MIN.
	.file	"divdi3.s"
	.text
	.globl	__divdi3
__divdi3:
	lea	-12(%sp),%sp
	movem.l	%d2-%d4,(%sp)
	movem.l	16(%sp),%d0-%d3		| a in d0:d1, b in d2:d3
	move.l	%d0,%d4
	eor.l	%d2,%d4			| negative when the signs differ
	tst.l	%d0
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
	tst.l	%d4
	bpl.s	3f
	neg.l	%d1
	negx.l	%d0
3:	movem.l	(%sp),%d2-%d4
	lea	12(%sp),%sp
	rts
