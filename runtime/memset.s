| void *memset(void *dst, int c, size_t n): stores the byte c (converted
| to unsigned char) into n bytes from dst and returns dst. Bytes go one by
| one up to a long-word boundary, then long words of four copies of the
| byte, sixteen bytes a turn, then the bytes left over.
	.file	"memset.s"
	.text
	.globl	memset
memset:
	move.l	%d2,-(%sp)
	move.l	8(%sp),%a0		| dst
	move.l	12(%sp),%d0
	andi.l	#0xff,%d0		| the byte
	move.l	%d0,%d1
	lsl.l	#8,%d1
	or.l	%d1,%d0			| twice in the low word
	move.l	%d0,%d1
	swap	%d1
	or.l	%d1,%d0			| four times in the long word
	move.l	16(%sp),%d1		| bytes left
.Lalign:
	move.l	%a0,%d2
	andi.l	#3,%d2
	beq.s	.Laligned
	tst.l	%d1
	beq.s	.Ldone
	move.b	%d0,(%a0)+
	subq.l	#1,%d1
	bra.s	.Lalign
.Laligned:
	move.l	%d1,%d2
	lsr.l	#4,%d2			| sixteen-byte blocks
	beq.s	.Llongs
.Lblock:
	move.l	%d0,(%a0)+
	move.l	%d0,(%a0)+
	move.l	%d0,(%a0)+
	move.l	%d0,(%a0)+
	subq.l	#1,%d2
	bne.s	.Lblock
.Llongs:
	btst	#3,%d1
	beq.s	1f
	move.l	%d0,(%a0)+
	move.l	%d0,(%a0)+
1:	btst	#2,%d1
	beq.s	2f
	move.l	%d0,(%a0)+
2:	andi.l	#3,%d1
.Lbytes:
	subq.l	#1,%d1
	bcs.s	.Ldone
	move.b	%d0,(%a0)+
	bra.s	.Lbytes
.Ldone:
	move.l	(%sp)+,%d2
	move.l	4(%sp),%d0		| a pointer is returned in both d0 and a0
	move.l	%d0,%a0
	rts
