| Polled output on UART0 of the MCF5208: the transmitter is off after reset
| and must be enabled through the command register; a byte may be written
| to the transmit buffer once the status register says it is ready.
	.file	"uart.s"
UART0	= 0xFC060000
USR	= 0x04		| status: bit 2 set when the transmitter takes a byte
UCR	= 0x08		| command: 0x04 enables the transmitter
UTB	= 0x0C		| transmit buffer

	.text
	.globl	uart_init, uart_puts, uart_puthex

| void uart_init(void)
uart_init:
	move.l	#UART0,%a0
	moveq	#0x04,%d0
	move.b	%d0,UCR(%a0)
	rts

| void uart_puts(const char *text): a newline goes out as CR LF.
uart_puts:
	move.l	4(%sp),%a1
1:	move.b	(%a1)+,%d0
	beq.s	3f
	extb.l	%d0
	cmp.l	#'\n',%d0
	bne.s	2f
	moveq	#'\r',%d0
	bsr.s	send
	moveq	#'\n',%d0
2:	bsr.s	send
	bra.s	1b
3:	rts

| Sends the byte in d0; uses d1 and a0.
send:
	move.l	#UART0,%a0
1:	move.b	USR(%a0),%d1
	btst	#2,%d1
	beq.s	1b
	move.b	%d0,UTB(%a0)
	rts

| void uart_puthex(unsigned value): eight hex digits. The digit table is
| the first thing in the module linked after this one (digits.s), within
| reach of an 8-bit pc-relative index: a pc-relative 8-bit xref.
uart_puthex:
	lea	-8(%sp),%sp
	movem.l	%d2-%d3,(%sp)
	move.l	12(%sp),%d2
	moveq	#8,%d3
1:	move.l	%d2,%d0
	moveq	#28,%d1
	lsr.l	%d1,%d0
	lsl.l	#4,%d2
	move.b	(hex_digits,%pc,%d0.l),%d0
	bsr.s	send
	subq.l	#1,%d3
	bne.s	1b
	movem.l	(%sp),%d2-%d3
	lea	8(%sp),%sp
	rts
