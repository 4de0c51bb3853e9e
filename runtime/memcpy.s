| void *memcpy(void *dst, const void *src, size_t n): copies n bytes from
| src to dst, lowest address first, and returns dst. When dst and src lie
| at the same offset from a long-word boundary, bytes go one by one up to
| the boundary and the rest by long words, sixteen bytes a turn;
| otherwise every byte goes alone (unaligned long-word accesses cost more
| bus cycles than they save).
	.file	"memcpy.s"
	.text
	.globl	memcpy
memcpy:
	move.l	4(%sp),%a0		| dst
	move.l	8(%sp),%a1		| src
	move.l	12(%sp),%d1		| bytes left
	move.l	%a0,%d0
	sub.l	%a1,%d0
	andi.l	#3,%d0
	bne.s	.Lbytes			| different alignment: bytes only
.Lalign:
	move.l	%a0,%d0
	andi.l	#3,%d0
	beq.s	.Laligned
	tst.l	%d1
	beq.s	.Ldone
	move.b	(%a1)+,(%a0)+
	subq.l	#1,%d1
	bra.s	.Lalign
.Laligned:
	move.l	%d1,%d0
	lsr.l	#4,%d0			| sixteen-byte blocks
	beq.s	.Llongs
.Lblock:
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	subq.l	#1,%d0
	bne.s	.Lblock
.Llongs:
	btst	#3,%d1
	beq.s	1f
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
1:	btst	#2,%d1
	beq.s	2f
	move.l	(%a1)+,(%a0)+
2:	andi.l	#3,%d1			| the bytes after the last long word
.Lbytes:
	subq.l	#1,%d1
	bcs.s	.Ldone
	move.b	(%a1)+,(%a0)+
	bra.s	.Lbytes
.Ldone:
	move.l	4(%sp),%d0		| a pointer is returned in both d0 and a0
	move.l	%d0,%a0
	rts
