| long long __ashrdi3(long long u, int count): u >> count with copies of
| the sign bit shifted in, for counts 0 to 63 (C defines no others). Below
| 32 each word shifts (the high one arithmetically) and the low word takes
| the high word's low count bits; from 32 the low word is the high word
| shifted arithmetically by count - 32, and the high word is all sign.
	.file	"ashrdi3.s"
	.text
	.globl	__ashrdi3
__ashrdi3:
	lea	-8(%sp),%sp
	movem.l	%d2-%d3,(%sp)
	movem.l	12(%sp),%d0-%d2		| u in d0:d1, count in d2
	tst.l	%d2
	beq.s	.Ldone			| count 0: also, a shift by 32 below would be needed
	moveq	#32,%d3
	cmp.l	%d3,%d2
	bcc.s	.Lwide
	sub.l	%d2,%d3			| 32 - count
	lsr.l	%d2,%d1
	move.l	%d0,%a0
	lsl.l	%d3,%d0			| the high word's bits that cross over
	or.l	%d0,%d1
	move.l	%a0,%d0
	asr.l	%d2,%d0
	bra.s	.Ldone
.Lwide:
	sub.l	%d3,%d2			| count - 32
	move.l	%d0,%d1
	asr.l	%d2,%d1
	moveq	#31,%d3
	asr.l	%d3,%d0			| the sign in every bit
.Ldone:
	movem.l	(%sp),%d2-%d3
	lea	8(%sp),%sp
	rts
