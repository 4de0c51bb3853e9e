| int memcmp(const void *a, const void *b, size_t n): compares n bytes as
| unsigned chars and returns a value below, equal to or above zero as the
| first differing byte of a is below or above b's, zero when none differs.
| When a and b share their alignment, whole long words are compared once
| the pointers reach a boundary: on a big-endian machine an unsigned
| long-word comparison orders four bytes as memcmp does, so a differing
| long word gives the result (-1 or 1) without looking at its bytes.
	.file	"memcmp.s"
	.text
	.globl	memcmp
memcmp:
	move.l	%d2,-(%sp)
	move.l	8(%sp),%a0		| a
	move.l	12(%sp),%a1		| b
	move.l	16(%sp),%d1		| bytes left
	move.l	%a0,%d0
	sub.l	%a1,%d0
	andi.l	#3,%d0
	bne.s	.Lbytes			| different alignment: bytes only
.Lalign:
	move.l	%a0,%d0
	andi.l	#3,%d0
	beq.s	.Llongs
	subq.l	#1,%d1
	bcs.s	.Lequal
	moveq	#0,%d0
	move.b	(%a0)+,%d0
	moveq	#0,%d2
	move.b	(%a1)+,%d2
	sub.l	%d2,%d0
	beq.s	.Lalign
	bra.s	.Ldone
.Llongs:
	subq.l	#4,%d1
	bcs.s	.Lrest
	move.l	(%a0)+,%d0
	cmp.l	(%a1)+,%d0
	beq.s	.Llongs
	bcs.s	.Lbelow			| unsigned: a's long word is below b's
	moveq	#1,%d0
	bra.s	.Ldone
.Lbelow:
	moveq	#-1,%d0
	bra.s	.Ldone
.Lrest:
	addq.l	#4,%d1			| fewer than four bytes left
.Lbytes:
	subq.l	#1,%d1
	bcs.s	.Lequal
	moveq	#0,%d0
	move.b	(%a0)+,%d0
	moveq	#0,%d2
	move.b	(%a1)+,%d2
	sub.l	%d2,%d0
	beq.s	.Lbytes
	bra.s	.Ldone
.Lequal:
	moveq	#0,%d0
.Ldone:
	move.l	(%sp)+,%d2
	rts
