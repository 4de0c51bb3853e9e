| long long __ashldi3(long long u, int count): u << count, for counts 0 to
| 63 (C defines no others). Below 32 each word shifts and the high word
| takes the low word's top count bits; from 32 the high word is the low
| word shifted by count - 32, and the low word is 0.
	.file	"ashldi3.s"
	.text
	.globl	__ashldi3
__ashldi3:
	lea	-8(%sp),%sp
	movem.l	%d2-%d3,(%sp)
	movem.l	12(%sp),%d0-%d2		| u in d0:d1, count in d2
	tst.l	%d2
	beq.s	.Ldone			| count 0: also, a shift by 32 below would be needed
	moveq	#32,%d3
	cmp.l	%d3,%d2
	bcc.s	.Lwide
	sub.l	%d2,%d3			| 32 - count
	lsl.l	%d2,%d0
	move.l	%d1,%a0
	lsr.l	%d3,%d1			| the low word's bits that cross over
	or.l	%d1,%d0
	move.l	%a0,%d1
	lsl.l	%d2,%d1
	bra.s	.Ldone
.Lwide:
	sub.l	%d3,%d2			| count - 32
	move.l	%d1,%d0
	lsl.l	%d2,%d0
	moveq	#0,%d1
.Ldone:
	movem.l	(%sp),%d2-%d3
	lea	8(%sp),%sp
	rts
