| unsigned long long __udivdi3(unsigned long long n, unsigned long long d):
| n / d. Shift-subtract on register pairs (high word first): d is shifted
| left until it is no longer below n (or its top bit is set), counting the
| shifts; then, once for each shift and once more, the quotient moves up a
| bit, d is taken from n where it fits (setting that bit), and d is halved.
| The number of steps is the quotient's width, so small quotients are quick.
|
| Besides the quotient in d0:d1 it leaves the remainder in a0:a1, which
| __umoddi3, __divdi3 and __moddi3 take from there. A divisor of 0 gives
| the quotient 0xFFFFFFFFFFFFFFFF and the remainder n.
	.file	"udivdi3.s"
	.text
	.globl	__udivdi3
__udivdi3:
	lea	-20(%sp),%sp
	movem.l	%d2-%d6,(%sp)
	movem.l	24(%sp),%d0-%d3		| n in d0:d1, left as the remainder; d in d2:d3
	moveq	#0,%d4			| quotient, high word
	moveq	#0,%d5			| quotient, low word
	moveq	#0,%d6			| shifts of d
	tst.l	%d2
	bne.s	.Lnormalise
	tst.l	%d3
	beq.s	.Lzero
.Lnormalise:
	cmp.l	%d0,%d2
	bhi.s	.Lstep			| d > n
	bcs.s	1f			| d < n
	cmp.l	%d1,%d3
	bcc.s	.Lstep			| d >= n
1:	tst.l	%d2
	bmi.s	.Lstep			| a further shift would lose d's top bit
	add.l	%d3,%d3
	addx.l	%d2,%d2
	addq.l	#1,%d6
	bra.s	.Lnormalise
.Lstep:
	add.l	%d5,%d5
	addx.l	%d4,%d4			| the quotient moves up a bit
	cmp.l	%d2,%d0
	bhi.s	1f			| n > d
	bcs.s	2f			| n < d
	cmp.l	%d3,%d1
	bcs.s	2f
1:	sub.l	%d3,%d1
	subx.l	%d2,%d0
	addq.l	#1,%d5			| the new bit 0 is set
2:	lsr.l	#1,%d3
	lsr.l	#1,%d2			| carry: the bit that moves into d's low word
	bcc.s	3f
	bset	#31,%d3
3:	subq.l	#1,%d6
	bcc.s	.Lstep			| shifts + 1 steps
	move.l	%d0,%a0			| remainder
	move.l	%d1,%a1
	move.l	%d4,%d0			| quotient
	move.l	%d5,%d1
	bra.s	.Ldone
.Lzero:
	move.l	%d0,%a0
	move.l	%d1,%a1
	moveq	#-1,%d0
	moveq	#-1,%d1
.Ldone:
	movem.l	(%sp),%d2-%d6
	lea	20(%sp),%sp
	rts
